#include "platform/x11/connection.h"

#include <X11/Xatom.h>

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace platform::x11 {
namespace {

// Read by the error handler, which Xlib may call on any thread of the host while it is installed.
std::atomic<Display*> gTrappedDisplay{nullptr};
std::atomic<XErrorHandler> gPreviousHandler{nullptr};

int onError(Display* display, XErrorEvent* error) {
  if (display == gTrappedDisplay.load()) {
    ++backend().trappedErrors;  // our own calls, made with the lock held
    return 0;
  }
  const XErrorHandler previous = gPreviousHandler.load();
  return previous ? previous(display, error) : 0;
}

void internAtoms(Display* display, Atoms& atoms) {
  struct Name {
    const char* name;
    Atom* atom;
  };
  const Name names[] = {
      {"_XEMBED_INFO", &atoms.xembedInfo},
      {"XdndAware", &atoms.xdndAware},
      {"XdndEnter", &atoms.xdndEnter},
      {"XdndPosition", &atoms.xdndPosition},
      {"XdndStatus", &atoms.xdndStatus},
      {"XdndLeave", &atoms.xdndLeave},
      {"XdndDrop", &atoms.xdndDrop},
      {"XdndFinished", &atoms.xdndFinished},
      {"XdndSelection", &atoms.xdndSelection},
      {"XdndTypeList", &atoms.xdndTypeList},
      {"XdndActionCopy", &atoms.xdndActionCopy},
      {"text/uri-list", &atoms.uriList},
      {"UTF8_STRING", &atoms.utf8String},
      {"text/plain;charset=utf-8", &atoms.textPlainUtf8},
      {"text/plain;charset=UTF-8", &atoms.textPlainUtf8Upper},
      {"text/plain", &atoms.textPlain},
      {"STRING", &atoms.string},
      {"TEXT", &atoms.text},
      {"_FADECREST_DROP_DATA", &atoms.dropData},
  };
  constexpr int kCount = static_cast<int>(std::size(names));
  char* text[kCount];
  Atom interned[kCount] = {};
  for (int i = 0; i < kCount; ++i) text[i] = const_cast<char*>(names[i].name);
  XInternAtoms(display, text, kCount, False, interned);
  for (int i = 0; i < kCount; ++i) *names[i].atom = interned[i];
}

}  // namespace

Backend& backend() {
  static Backend state;
  return state;
}

bool connect() {
  Backend& b = backend();
  if (b.display) return true;
  // Our own connection, named by the environment: never the host's.
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  b.display = display;
  b.requestAtLastRead = 0;  // the first read of a new connection is a full one
  gTrappedDisplay = display;
  internAtoms(display, b.atoms);
  // Our pixels are laid out least significant byte first; shared memory gets no conversion. Whether
  // the server takes our memory is found when the first window attaches it.
  b.shmOffered = XShmQueryExtension(display) && ImageByteOrder(display) == LSBFirst;
  return true;
}

void disconnectIfUnused() {
  Backend& b = backend();
  if (!b.display || !b.windows.empty() || b.editorsHeld > 0) return;
  {
    ErrorTrap trap;
    XCloseDisplay(b.display);  // and with it everything we made on the server
  }
  b.display = nullptr;
  gTrappedDisplay = nullptr;
  b.cursors = {};
  b.drag = {};
}

ErrorTrap::ErrorTrap() {
  Backend& b = backend();
  if (b.trapDepth++ == 0) {
    const XErrorHandler previous = XSetErrorHandler(onError);
    // A host that put ours back after we left keeps the one it had before.
    if (previous != onError) gPreviousHandler = previous;
  }
  errorsBefore_ = b.trappedErrors;
}

ErrorTrap::~ErrorTrap() {
  if (--backend().trapDepth == 0) XSetErrorHandler(gPreviousHandler.load());
}

WindowRecord* liveOrGoneWindow(WindowHandle handle) {
  if (!handle) return nullptr;
  for (WindowRecord* record : backend().windows)
    if (record == handle) return record;
  return nullptr;
}

WindowRecord* liveWindow(WindowHandle handle) {
  WindowRecord* record = liveOrGoneWindow(handle);
  return record && !record->gone ? record : nullptr;
}

WindowRecord* windowBySerial(std::uint64_t serial) {
  for (WindowRecord* record : backend().windows)
    if (record->serial == serial) return record;
  return nullptr;
}

WindowRecord* windowById(::Window id) {
  // The server sends nothing for a window after the notice of its end.
  for (WindowRecord* record : backend().windows)
    if (record->id == id) return record;
  return nullptr;
}

::Window xWindowOf(WindowHandle handle) {
  if (!handle) return 0;
  if (WindowRecord* record = liveOrGoneWindow(handle)) return record->gone ? 0 : record->id;
  // A handle that is not ours is a host's window id, which is never read through.
  return static_cast<::Window>(reinterpret_cast<std::uintptr_t>(handle));
}

WindowHandle handleOf(::Window id) {
  Display* display = backend().display;
  for (int screen = 0; screen < ScreenCount(display); ++screen)
    if (RootWindow(display, screen) == id) return nullptr;
  if (WindowRecord* record = windowById(id)) return record;
  return reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(id));
}

}  // namespace platform::x11
