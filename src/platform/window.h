// Native windows as the frame needs them: a class registered by name, a child window inside the
// host's window, a user-data slot the window procedure finds its owner through, geometry of the
// window tree, painting of damaged areas, the window's pending events, cursors, system metrics,
// and the process-wide services (OLE, drop targets, the imaging library) the editor window
// depends on.
//
// What a backend must do
//
// Threads. The plug-in has no thread of its own and never starts one. Every call below comes on
// the thread the host opens, idles and closes the editor on, and every window procedure and drop
// target runs on that thread, from inside one of these calls or from the host's own message loop.
// Nothing may block waiting for the user.
//
// Events. Where the host's message loop delivers the window's messages (a system with one queue
// per thread), presses and paints reach the procedure that way and dispatchWindowEvents has only
// the waiting paint to hand over. Where the plug-in talks to a display server over a connection of
// its own, nothing arrives unless the plug-in reads it: dispatchWindowEvents is where the window's
// events are read and handed to its procedure, and the frame calls it on every idle pass. Each
// event becomes one Message:
// - damage (exposed areas) becomes one paint; the procedure asks windowUpdateRect and beginPaint
//   for the united rectangle;
// - left, right and middle presses carry the point in client coordinates and, in `keys`, the
//   buttons and modifiers held at the press with the pressed button included. The press may be
//   handled long after the user let go; the toolkit reads `keys` for the press and live state
//   (heldKeys) only afterwards, while a control follows the mouse. Keys are physical, as heldKeys
//   reports them. Where a press is handled as it happens, heldKeys read then is right; a display
//   server's event carries what was held before the press, so the pressed button is added;
// - a wheel turn carries the screen point, 120 per notch (a display server's wheel buttons:
//   up +120, down -120) and the held keys;
// - a key press or release carries the key, named (NamedKey) or by the character it types, and in
//   `keys` the modifiers held at it (see Keys);
// - destroy tells the procedure the window is gone (see Windows that go);
// - button releases, motion, enter, leave and the rest are not messages; drags go to the window's
//   drop target (see DragData and DropTargetHandler below).
//
// Keys. The procedure answers non-zero for a key it used; every other key is the host's (its
// shortcuts, its transport), and must reach the host as if the plug-in's window were not there.
// Where the host's own message loop sees the keys first and hands the plug-in what it wants it to
// have through the plug-in interface, the backend leaves key messages to the system and sends none.
// Where the plug-in reads its own window's events from a display server, keys arrive at its window
// while the pointer is over it (the host keeps the input focus; the backend never takes it), and
// once the window asks for them they no longer go up to the host's windows by themselves: the
// backend sends each key the procedure leaves to the host's window that would have had it
// otherwise, as the server would have delivered it there.
//
// Windows that go. A host may destroy its window, and ours with it, at any moment, and on a
// display server we hear of it only when the window's events are next read. Until the destroy
// message has been delivered, every call on such a window does nothing harmful: it answers as for
// a null window, and no error of the window system may end the host's process (catch them around
// our own calls). The user data stays readable until the destroy message has been delivered, so
// the procedure finds its owner then. The frame clears the user data before it destroys its own
// window: a destroy message for it reaches no owner, and a notice that arrives after destroyWindow
// has returned is dropped, never delivered.
#pragma once

#include <cstdint>
#include <string>

#include "platform/input.h"
#include "platform/module.h"
#include "platform/surface.h"

namespace platform {

// What reaches a window procedure. Button releases and motion are not events: controls poll the
// cursor and the buttons while they track.
enum class MessageType {
  destroy,
  paint,
  leftButtonDown,
  rightButtonDown,
  middleButtonDown,
  wheel,
  keyDown,
  keyUp,
  other
};

// Keys that type no character (or, as space, that are known by their place more than by it).
// clang-format off
enum class NamedKey {
  none,
  backspace, tab, clear, returnKey, pause, escape, space, end, home,
  left, up, right, down, pageUp, pageDown,
  print, insert, deleteKey, help,
  keypad0, keypad1, keypad2, keypad3, keypad4, keypad5, keypad6, keypad7, keypad8, keypad9,
  keypadMultiply, keypadAdd, keypadSeparator, keypadSubtract, keypadDecimal, keypadDivide,
  keypadEnter, keypadEquals,
  f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12,
  numLock, scrollLock, shift, control, alt
};
// clang-format on

struct Message {
  MessageType type = MessageType::other;
  Point point;         // button presses: client coordinates; wheel: screen coordinates
  int wheelDelta = 0;  // multiples of 120 per notch on a standard wheel
  // Presses and wheel: what was held at the event, the pressed button included. Keys: the
  // modifiers (shift, control, alt) held at the key.
  KeySet keys = 0;
  NamedKey key = NamedKey::none;  // keys: the key, when it is a named one
  // Keys: otherwise the character it types (Unicode) as Shift and the keyboard's locks make it;
  // Control and Alt change no character.
  char32_t character = 0;
};

// For a key, the answer is non-zero when the procedure used it (see Keys).
using WindowProcedure = long (*)(WindowHandle window, const Message& message);

// What a window does with a message its procedure leaves alone (a paint validates the window).
long defaultWindowProcedure(WindowHandle window, const Message& message);

bool registerWindowClass(const std::string& name, ModuleHandle module, WindowProcedure procedure);
void unregisterWindowClass(const std::string& name, ModuleHandle module);

// A visible child window at (0, 0) of the parent's client area, of the size asked (never taken
// from the parent, which a host may still be laying out); it asks for its first paint when it is
// shown. Null when the class is unknown or the parent is no window of this system (a handle the
// system does not know is never read through).
WindowHandle createChildWindow(const std::string& className, const std::string& title, WindowHandle parent,
                               int width, int height);
// Destroys the window and its children; each receives MessageType::destroy first, and their
// pending events, drop target registrations and any later notice of the destruction go with them.
void destroyWindow(WindowHandle window);

void setWindowUserData(WindowHandle window, void* data);
void* windowUserData(WindowHandle window);

// windowScreenRect (surface.h) gives the outer rectangle on the screen.
WindowHandle windowParent(WindowHandle window);
std::string windowClassName(WindowHandle window);
bool windowHasCaption(WindowHandle window);
// Keeps the top-left corner where it is.
void resizeWindow(WindowHandle window, int width, int height);
// From screen coordinates into the client coordinates of `window` (the screen itself when null).
Point screenToClient(WindowHandle window, Point screen);

// Adds the rectangle (client coordinates) to the window's damage; a paint message follows. Damage
// the window system reports (an exposed area) is added the same way.
void invalidateWindow(WindowHandle window, const Rect& rect);
// The damaged rectangle, if any.
bool windowUpdateRect(WindowHandle window, Rect& damaged);
// The window's surface for painting the damage, which counts as repaired from here on.
Surface* beginPaint(WindowHandle window, Rect& damaged);
void endPaint(WindowHandle window, Surface* surface);
// Takes one waiting paint message of the calling thread (or of any window on the plug-in's own
// connection), if there is one, and hands it to its window procedure; true when one was
// dispatched. Other windows of the host keep painting this way while a control holds the mouse.
bool dispatchPendingPaint();

// Hands every event of the window that was pending when the call began to its window procedure, in
// order (and drags to its drop target), then its damage as one paint. The frame takes them when
// idled; while it is inside an event (a control following the mouse) it takes none, and the
// editor's idle pass takes one waiting paint instead. Nothing for a null window; for a window that
// went, only its destroy message. Never waits for an event.
// Where the host's message loop delivers the paints, the paint alone is nothing here: the editor's
// idle routine then takes one waiting paint of the thread itself (dispatchPendingPaint).
void dispatchWindowEvents(WindowHandle window);

// Cursors belong to windows: a window shows its own while the pointer is over it (a system with
// one cursor for everything ignores the window). systemCursor answers a shape the backend keeps
// as long as it has windows. currentCursor answers what the window shows now, which may be a
// handle that stands for "as the parent shows" and puts that back when set again. A null window
// answers null and takes nothing.
enum class CursorShape { arrow, wait, sizeWE, sizeNS, sizeAll, sizeNESW, sizeNWSE, no, hand };
using CursorHandle = const void*;
CursorHandle systemCursor(CursorShape shape);
CursorHandle currentCursor(WindowHandle window);
void setCurrentCursor(WindowHandle window, CursorHandle cursor);

// Thickness of a fixed (dialog) window border, in pixels.
int fixedFrameBorder();

struct PlatformVersion {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t platformId = 0;  // 2 and higher: the family with the transparent copy
};
bool queryPlatformVersion(PlatformVersion& version);

// The imaging library that provides alpha blending and transparent copies; null when missing.
struct ImagingLibrary {
  void* handle = nullptr;
  bool hasAlphaBlend = false;
  bool hasTransparentCopy = false;
};
ImagingLibrary loadImagingLibrary();
void releaseImagingLibrary(void* handle);

// OLE for the calling thread, started and stopped in pairs.
void startOle();
void stopOle();

// --- drag and drop ---

// What another application drags over a window, as far as the toolkit asks about it: whether it
// offers text, and whether it offers a list of files and how many. The window system keeps it
// alive from the moment the drag enters a window until it leaves or is dropped.
//
// Both answers are asked for inside dragEnter and must come at once. Where the data arrives
// later by a conversion the source answers (a display server's selection), the backend asks for
// what the answers need (the file list, say) when the drag first comes over a window, and calls
// dragEnter once the answer has come or the source has had a bounded time, whatever has not come
// by then counting as not offered. Nothing waits for the answer meanwhile: the drag's steps stay
// pending with the window's later events. Whether text is offered can be told from the types.
class DragData {
 public:
  virtual bool hasText() const = 0;
  // False when the drag carries no file list; `count` is then left alone.
  virtual bool fileCount(std::int32_t& count) const = 0;

 protected:
  ~DragData() = default;
};

// What the target tells the source it would do with the object (bits; none is 0).
enum DropEffect : std::uint32_t {
  kDropEffectNone = 0,
  kDropEffectCopy = 1,
  kDropEffectMove = 2,
  kDropEffectLink = 4
};

// Buttons and modifiers held while dragging, as the window system reports them with each event.
enum DragKeyState : std::uint32_t {
  kDragKeyLeftButton = 1,
  kDragKeyRightButton = 2,
  kDragKeyShift = 4,
  kDragKeyControl = 8,
  kDragKeyMiddleButton = 16,
  kDragKeyAlt = 32
};

// Result codes a drop target answers the window system with.
using ResultCode = std::int32_t;
inline constexpr ResultCode kResultOk = 0;
inline constexpr ResultCode kResultNoInterface = static_cast<ResultCode>(0x80004002u);

// A 16-byte interface identifier; a window system that hands objects out by interface asks the
// drop target for one of these.
struct InterfaceId {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::uint8_t data4[8] = {};
  bool operator==(const InterfaceId&) const = default;
};
inline constexpr InterfaceId kUnknownInterface{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr InterfaceId kDropTargetInterface{0x00000122, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// A drop target as the window system sees it; the toolkit's drop target implements it. It is
// reference counted: registration holds a reference until it is revoked or the window goes, and
// a drag in progress holds one on the target it is over. Points are screen coordinates. A backend
// whose drags arrive as events calls the target from dispatchWindowEvents; one whose system runs
// a drag loop of its own calls it from there. A window that goes gives its registration's
// reference back no later than when its destroy message is delivered.
class DropTargetHandler {
 public:
  virtual ResultCode queryInterface(const InterfaceId& id, void** object) = 0;
  virtual std::uint32_t addRef() = 0;
  virtual std::uint32_t release() = 0;
  virtual ResultCode dragEnter(DragData* data, std::uint32_t keyState, Point screen,
                               std::uint32_t& effect) = 0;
  virtual ResultCode dragOver(std::uint32_t keyState, Point screen, std::uint32_t& effect) = 0;
  virtual ResultCode dragLeave() = 0;
  virtual ResultCode drop(DragData* data, std::uint32_t keyState, Point screen, std::uint32_t& effect) = 0;

 protected:
  // Only the last release destroys a target.
  virtual ~DropTargetHandler() = default;
};
// Takes a reference on success; false without a window or when the window already has a target.
bool registerDropTarget(WindowHandle window, DropTargetHandler* handler);
// Gives the registration's reference back; nothing when the window has no target.
void revokeDropTarget(WindowHandle window);

}  // namespace platform
