// The plug-in's own connection to the X server and everything the backend keeps with it.
//
// Hosts hand the editor an X window id and keep their own connection to themselves: the backend
// opens one connection of its own with the first window it makes and closes it with the last, and
// reads its events only when the toolkit asks (the frame's idle, a control's tracking loop). A host
// may idle two editors from two threads, so every call takes the backend's lock, and gives it up
// before it calls into the toolkit (window procedures, drop targets). X errors on the connection
// (a host that destroyed its window first answers BadWindow) are caught by a handler installed
// around the backend's own calls; errors on the host's connections go on to the handler it had.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
// X's name for a query class, which would stand in for the seam's cursor shapes.
#undef CursorShape

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/raster/image.h"
#include "platform/window.h"

namespace platform::x11 {

// The atoms the backend uses, interned in one round trip when the connection opens.
struct Atoms {
  Atom xembedInfo;
  Atom xdndAware, xdndEnter, xdndPosition, xdndStatus, xdndLeave, xdndDrop, xdndFinished;
  Atom xdndSelection, xdndTypeList, xdndActionCopy;
  Atom uriList, utf8String, textPlainUtf8, textPlainUtf8Upper, textPlain, string, text;
  Atom dropData;  // the property of our window that a conversion of drop data lands in
};

// What one drag offers (xdnd.cpp): shared by the steps of the drag and the windows it is over.
struct DragOffer;

// One step of a drag over a window, waiting for the window's events to be taken.
struct DragStep {
  enum Kind { position, leave, drop } kind = position;
  ::Window source = 0;
  Point root;  // position: the pointer on the screen
  std::shared_ptr<DragOffer> offer;
};

// An event read for a window and not yet handed to it.
struct PendingEvent {
  enum Kind { input, dragStep, key } kind = input;
  Message message;
  DragStep drag;
  XKeyEvent keyEvent{};  // key: the event as read, to pass on to the host if unused
};

// Where the picture goes to the server: an image in the server's format, in memory the server
// shares where it offers MIT-SHM.
struct Presenter {
  XImage* image = nullptr;
  XShmSegmentInfo shm{};
  bool shared = false;
  GC gc = nullptr;
};

struct WindowRecord {
  std::uint64_t serial = 0;  // tells a record from a later one at the same address
  ::Window id = 0;
  std::string className;
  WindowProcedure procedure = nullptr;
  void* userData = nullptr;
  Visual* visual = nullptr;
  int depth = 0;
  // Destroyed from outside (with the host's window): the notice is read, not yet delivered.
  bool gone = false;
  raster::Image pixels{0, 0, false};  // what the window shows, drawn by the toolkit
  bool damaged = false;
  Rect damage;
  std::deque<PendingEvent> pending;
  CursorHandle cursor = nullptr;
  DropTargetHandler* dropTarget = nullptr;  // holds the registration's reference
  // The drag over this window, from the step that entered it to its leave or drop.
  DropTargetHandler* dragTarget = nullptr;  // holds the drag's reference
  std::shared_ptr<DragOffer> dragOffer;
  Point dragPoint;  // where the last position put it, on the screen
  Presenter presenter;
};

struct Backend {
  std::recursive_mutex mutex;
  Display* display = nullptr;
  bool shmOffered = false;
  Atoms atoms{};
  std::vector<std::pair<std::string, WindowProcedure>> classes;
  std::vector<WindowRecord*> windows;  // in the order they were made
  std::uint64_t nextSerial = 1;
  std::array<Cursor, 9> cursors{};  // font cursors by shape, made on first use
  struct {
    std::shared_ptr<DragOffer> current;  // as its source's enter announced it; null: none
    WindowRecord* over = nullptr;
    // The drag whose file list was asked for and has not come yet, and until when it may take.
    std::shared_ptr<DragOffer> awaited;
    std::chrono::steady_clock::time_point awaitedUntil;
  } drag;
  // The next request's number when the events were last read (see readEvents).
  unsigned long requestAtLastRead = 0;
  // Editors that exist, open or not (see startOle): the connection stays while there are any.
  int editorsHeld = 0;
  // The error trap.
  int trapDepth = 0;
  int trappedErrors = 0;
};

Backend& backend();
using Lock = std::unique_lock<std::recursive_mutex>;
inline Lock lock() { return Lock(backend().mutex); }

// Opens the connection if there is none; false when the server cannot be reached.
bool connect();
// Closes the connection once the last window has gone and no editor holds it.
void disconnectIfUnused();

// Installs the backend's error handler for the lifetime of the object (nested traps share one).
class ErrorTrap {
 public:
  ErrorTrap();
  ~ErrorTrap();
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;
  // Whether an error of the connection was caught since the trap was set.
  bool caught() const { return backend().trappedErrors != errorsBefore_; }
  // Takes the errors caught so far as answered here: the traps around this one do not see them.
  void absorb() const { backend().trappedErrors = errorsBefore_; }

 private:
  int errorsBefore_;
};

// Our window behind a handle: live ones only, or also those destroyed from outside whose notice
// has not been delivered yet.
WindowRecord* liveWindow(WindowHandle handle);
WindowRecord* liveOrGoneWindow(WindowHandle handle);
WindowRecord* windowById(::Window id);
// The same record after the lock was given up, if it is still there.
WindowRecord* windowBySerial(std::uint64_t serial);
// The X window a handle stands for: ours, or a host's window id passed as a handle. 0 for a
// window of ours that went.
::Window xWindowOf(WindowHandle handle);
// The handle for an X window: ours by record, others by id, the root as null.
WindowHandle handleOf(::Window id);

// Buttons and modifiers of an event's or a pointer query's state mask.
KeySet keysOf(unsigned int state);

// Reads every event the server has sent so far, without waiting, into the windows' queues.
void readEvents();

}  // namespace platform::x11
