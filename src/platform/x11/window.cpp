#include "platform/window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/raster/surface.h"
#include "platform/x11/connection.h"
#include "platform/x11/keys.h"
#include "platform/x11/xdnd.h"

namespace platform {
namespace x11 {

KeySet keysOf(unsigned int state) {
  KeySet keys = 0;
  if (state & Button1Mask) keys |= keyBit(Key::leftButton);
  if (state & Button2Mask) keys |= keyBit(Key::middleButton);
  if (state & Button3Mask) keys |= keyBit(Key::rightButton);
  if (state & ShiftMask) keys |= keyBit(Key::shift);
  if (state & ControlMask) keys |= keyBit(Key::control);
  if (state & Mod1Mask) keys |= keyBit(Key::alt);
  return keys;
}

namespace {

constexpr long kEventMask = ExposureMask | ButtonPressMask | StructureNotifyMask | kKeyEventMask;
// _XEMBED_INFO: protocol version 0, mapped.
constexpr long kXembedInfo[2] = {0, 1};

// Hands a message to the window's procedure without the lock: the toolkit may run a loop of its
// own in there (a knob following the mouse) and call back into the backend.
long callProcedure(Lock& held, WindowRecord* record, const Message& message) {
  const WindowProcedure procedure = record->procedure;
  held.unlock();
  const long result = procedure ? procedure(record, message) : defaultWindowProcedure(record, message);
  held.lock();
  return result;
}

void addDamage(WindowRecord& record, const Rect& rect) {
  const Rect r = raster::intersect(rect, record.pixels.bounds());
  if (raster::isEmpty(r)) return;
  record.damage = record.damaged ? raster::unite(record.damage, r) : r;
  record.damaged = true;
}

// --- the picture on the server ---

void releasePresenter(Presenter& presenter) {
  Display* display = backend().display;
  if (presenter.image) {
    if (presenter.shared) {
      XShmDetach(display, &presenter.shm);
      presenter.image->data = nullptr;  // the segment is not the image's to free
      shmdt(presenter.shm.shmaddr);
    }
    XDestroyImage(presenter.image);
  }
  if (presenter.gc) XFreeGC(display, presenter.gc);
  presenter = {};
}

// Shared memory the server maps as well, where it offers that; false leaves the image to plain
// requests.
bool shareImage(WindowRecord& record, int width, int height) {
  Display* display = backend().display;
  Presenter& p = record.presenter;
  p.image = XShmCreateImage(display, record.visual, record.depth, ZPixmap, nullptr, &p.shm, width, height);
  if (!p.image) return false;
  p.shm.shmid =
      shmget(IPC_PRIVATE, static_cast<std::size_t>(p.image->bytes_per_line) * height, IPC_CREAT | 0600);
  void* address = p.shm.shmid >= 0 ? shmat(p.shm.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
  if (address != reinterpret_cast<void*>(-1)) {
    p.shm.shmaddr = p.image->data = static_cast<char*>(address);
    p.shm.readOnly = False;
    // The errors of what came before are the caller's: wait for them, unless every request sent
    // so far has been answered (as after the window's attributes were read).
    if (LastKnownRequestProcessed(display) != NextRequest(display) - 1) XSync(display, False);
    ErrorTrap trap;
    XShmAttach(display, &p.shm);
    XSync(display, False);  // a server on another machine, or in another namespace, refuses here
    p.shared = !trap.caught();
    trap.absorb();  // a refusal leaves the picture to plain requests: no failure of the caller's
  }
  // The segment goes once both sides have let it go.
  if (p.shm.shmid >= 0) shmctl(p.shm.shmid, IPC_RMID, nullptr);
  if (p.shared) return true;
  if (address != reinterpret_cast<void*>(-1)) shmdt(address);
  p.image->data = nullptr;
  XDestroyImage(p.image);
  p.image = nullptr;
  return false;
}

// The image is shared already when the window's maker shared it (see createChildWindow).
bool makePresenter(WindowRecord& record) {
  Display* display = backend().display;
  const int width = std::max(record.pixels.width(), 1), height = std::max(record.pixels.height(), 1);
  Presenter& p = record.presenter;
  p.gc = XCreateGC(display, record.id, 0, nullptr);
  if (p.shared || (backend().shmOffered && shareImage(record, width, height))) return true;
  char* data = static_cast<char*>(std::calloc(static_cast<std::size_t>(width) * height, 4));
  if (!data) return false;
  p.image =
      XCreateImage(display, record.visual, record.depth, ZPixmap, 0, data, width, height, 32, width * 4);
  if (!p.image) {
    std::free(data);
    return false;
  }
  // Our byte order; the library converts where the server's differs.
  p.image->byte_order = LSBFirst;
  return XInitImage(p.image) != 0;
}

// Sends the part of the window's pixels that drawing touched to the server; with shared memory,
// waits until the server has taken it, as the memory is drawn into again.
void present(WindowRecord& record, const Rect& rect) {
  XImage* image = record.presenter.image;
  if (!image) return;  // no memory for it when the window was last resized
  const Rect r =
      raster::intersect(rect, raster::intersect(record.pixels.bounds(), {0, 0, image->width, image->height}));
  if (raster::isEmpty(r)) return;
  for (int y = r.top; y < r.bottom; ++y) {
    const std::uint8_t* from = reinterpret_cast<const std::uint8_t*>(record.pixels.at(r.left, y));
    std::uint8_t* to = reinterpret_cast<std::uint8_t*>(image->data) +
                       static_cast<std::size_t>(y) * image->bytes_per_line +
                       static_cast<std::size_t>(r.left) * 4;
    // A window is opaque, whatever alpha the drawing left (it counts in a 32-bit visual). Blue,
    // green, red, alpha from the low byte up: alpha is the top byte of a little-endian word.
    static_assert(std::endian::native == std::endian::little);
    for (int x = 0; x < r.width(); ++x) {
      std::uint32_t pixel;
      std::memcpy(&pixel, from + 4 * x, 4);
      pixel |= 0xff000000u;
      std::memcpy(to + 4 * x, &pixel, 4);
    }
  }
  Display* display = backend().display;
  ErrorTrap trap;
  if (record.presenter.shared) {
    XShmPutImage(display, record.id, record.presenter.gc, image, r.left, r.top, r.left, r.top,
                 static_cast<unsigned>(r.width()), static_cast<unsigned>(r.height()), False);
    XSync(display, False);
  } else {
    XPutImage(display, record.id, record.presenter.gc, image, r.left, r.top, r.left, r.top,
              static_cast<unsigned>(r.width()), static_cast<unsigned>(r.height()));
    XFlush(display);
  }
}

bool isUsableVisual(Display* display, const XWindowAttributes& attributes) {
  const Visual* visual = attributes.visual;
  if (!visual || visual->c_class != TrueColor || (attributes.depth != 24 && attributes.depth != 32))
    return false;
  if (visual->red_mask != 0xff0000 || visual->green_mask != 0xff00 || visual->blue_mask != 0xff) return false;
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
  bool fourBytes = false;
  for (int i = 0; i < count; ++i)
    if (formats[i].depth == attributes.depth) fourBytes = formats[i].bits_per_pixel == 32;
  if (formats) XFree(formats);
  return fourBytes;
}

// Gives back what the window holds on the server and here. `tell`: the window's procedure hears
// of it first. A window of ours that went with the host's window is gone on the server already.
void endWindow(Lock& held, WindowRecord* record, bool tell) {
  const std::uint64_t serial = record->serial;
  if (tell) {
    callProcedure(held, record, {MessageType::destroy, {}, 0});
    record = windowBySerial(serial);
    if (!record) return;
  }
  endDragOver(held, *record);
  record = windowBySerial(serial);
  if (!record) return;
  if (DropTargetHandler* target = std::exchange(record->dropTarget, nullptr)) target->release();

  Backend& b = backend();
  std::erase(b.windows, record);
  if (b.drag.over == record) b.drag.over = nullptr;
  {
    ErrorTrap trap;
    if (!record->gone) XDestroyWindow(b.display, record->id);
    releasePresenter(record->presenter);
    // Nothing of ours is left on the host's window when this returns; a BadWindow from a host
    // that destroyed its window first is caught here.
    XSync(b.display, False);
  }
  delete record;
  disconnectIfUnused();
}

void route(XEvent& event) {
  if (receiveDragEvent(event)) return;
  if (event.type == MappingNotify) {
    XRefreshKeyboardMapping(&event.xmapping);  // keys are looked up in the new map from here on
    return;
  }
  WindowRecord* record = windowById(event.xany.window);
  if (!record) return;  // a window that went, or a stray conversion answer
  switch (event.type) {
    case Expose: {
      const XExposeEvent& e = event.xexpose;
      addDamage(*record, {e.x, e.y, e.x + e.width, e.y + e.height});
      break;
    }
    case ButtonPress: {
      const XButtonEvent& e = event.xbutton;
      // The state is what was held before the press; the pressed button joins it.
      Message message;
      message.keys = keysOf(e.state);
      message.point = {e.x, e.y};
      switch (e.button) {
        case Button1:
          message.type = MessageType::leftButtonDown;
          message.keys |= keyBit(Key::leftButton);
          break;
        case Button2:
          message.type = MessageType::middleButtonDown;
          message.keys |= keyBit(Key::middleButton);
          break;
        case Button3:
          message.type = MessageType::rightButtonDown;
          message.keys |= keyBit(Key::rightButton);
          break;
        case Button4:
        case Button5:
          message.type = MessageType::wheel;
          message.point = {e.x_root, e.y_root};
          message.wheelDelta = e.button == Button4 ? 120 : -120;
          break;
        default:
          return;
      }
      record->pending.push_back({PendingEvent::input, message, {}});
      break;
    }
    case KeyPress:
    case KeyRelease:
      record->pending.push_back({PendingEvent::key, keyMessage(event.xkey), {}, event.xkey});
      break;
    case DestroyNotify:
      // Our windows hear only of their own end. From here on every call on the window does
      // nothing, and the notice waits for its events to be taken.
      record->gone = true;
      if (backend().drag.over == record) backend().drag.over = nullptr;
      break;
    default:
      break;
  }
}

// Font cursors stand in for the system's shapes.
constexpr unsigned int kCursorGlyphs[] = {XC_left_ptr,
                                          XC_watch,
                                          XC_sb_h_double_arrow,
                                          XC_sb_v_double_arrow,
                                          XC_fleur,
                                          XC_bottom_left_corner,
                                          XC_bottom_right_corner,
                                          XC_X_cursor,
                                          XC_hand2};
constexpr int kCursorShapes = static_cast<int>(std::size(kCursorGlyphs));
const int gCursorTokens[kCursorShapes] = {};
// What a window shows before a cursor is set: its parent's.
const int gParentCursorToken = 0;

// Whether an event can be waiting: one that Xlib holds already, data on the socket (or its end),
// or data that our own calls since the last read took off the socket into the libraries' buffers.
// Xlib reads the socket only inside calls on the connection, which are all ours, and each of them
// that reads sends a request first (a round trip, or the request a selection answer waits for):
// while no request was sent since the last read, nothing was read. This spares the idle pass the
// libraries' own check, which costs several times the system call below.
bool mayHaveEvents(Display* display) {
  if (QLength(display) > 0 || NextRequest(display) != backend().requestAtLastRead) return true;
  pollfd connection{ConnectionNumber(display), POLLIN, 0};
  return poll(&connection, 1, 0) != 0;
}

}  // namespace

void readEvents() {
  Backend& b = backend();
  if (!b.display || !mayHaveEvents(b.display)) return;
  ErrorTrap trap;
  // What has arrived by now, without waiting and without a request: what arrives while these are
  // handled waits for the next call.
  int count = XEventsQueued(b.display, QueuedAfterFlush);
  b.requestAtLastRead = NextRequest(b.display);
  for (; count > 0; --count) {
    XEvent event;
    XNextEvent(b.display, &event);
    route(event);
  }
}

}  // namespace x11

using x11::backend;
using x11::WindowRecord;

long defaultWindowProcedure(WindowHandle window, const Message& message) {
  if (message.type == MessageType::paint) {
    Rect damaged;
    endPaint(window, beginPaint(window, damaged));
  }
  return 0;
}

bool registerWindowClass(const std::string& name, ModuleHandle /*module*/, WindowProcedure procedure) {
  auto held = x11::lock();
  auto& classes = backend().classes;
  if (std::any_of(classes.begin(), classes.end(), [&](const auto& entry) { return entry.first == name; }))
    return false;
  classes.emplace_back(name, procedure);
  return true;
}

void unregisterWindowClass(const std::string& name, ModuleHandle /*module*/) {
  auto held = x11::lock();
  std::erase_if(backend().classes, [&](const auto& entry) { return entry.first == name; });
}

WindowHandle createChildWindow(const std::string& className, const std::string& title, WindowHandle parent,
                               int width, int height) {
  auto held = x11::lock();
  x11::Backend& b = backend();
  const auto found = std::find_if(b.classes.begin(), b.classes.end(),
                                  [&](const auto& entry) { return entry.first == className; });
  if (found == b.classes.end() || !parent || !x11::connect()) return nullptr;
  Display* display = b.display;
  const ::Window parentId = x11::xWindowOf(parent);

  auto* record = new WindowRecord;
  {
    x11::ErrorTrap trap;
    XWindowAttributes attributes{};
    // A handle that is no window on our server (or one that went) ends here.
    if (!parentId || !XGetWindowAttributes(display, parentId, &attributes) || trap.caught() ||
        attributes.c_class != InputOutput || !x11::isUsableVisual(display, attributes)) {
      delete record;
      x11::disconnectIfUnused();
      return nullptr;
    }
    record->serial = b.nextSerial++;
    record->className = className;
    record->procedure = found->second;
    record->visual = attributes.visual;
    record->depth = attributes.depth;
    width = std::max(width, 1);
    height = std::max(height, 1);
    record->pixels = raster::Image(width, height, false);
    // Shared memory while nothing is waiting for an answer, which saves a round trip.
    if (b.shmOffered) x11::shareImage(*record, width, height);

    XSetWindowAttributes set{};
    set.background_pixmap = None;  // no flash of a background colour before the first paint
    set.border_pixel = 0;
    set.colormap = attributes.colormap;
    set.event_mask = x11::kEventMask;
    set.bit_gravity = NorthWestGravity;
    record->id =
        XCreateWindow(display, parentId, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                      attributes.depth, InputOutput, attributes.visual,
                      CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask | CWBitGravity, &set);
    XStoreName(display, record->id, title.c_str());
    XClassHint hint{const_cast<char*>(className.c_str()), const_cast<char*>(className.c_str())};
    XSetClassHint(display, record->id, &hint);
    XChangeProperty(display, record->id, b.atoms.xembedInfo, b.atoms.xembedInfo, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(x11::kXembedInfo), 2);
    const bool presentable = x11::makePresenter(*record);
    XMapWindow(display, record->id);
    XSync(display, False);
    if (!presentable || trap.caught()) {
      XDestroyWindow(display, record->id);
      x11::releasePresenter(record->presenter);
      XSync(display, False);
      delete record;
      x11::disconnectIfUnused();
      return nullptr;
    }
  }
  b.windows.push_back(record);
  // A window that appears needs painting, whether or not the server asks (the host's window is
  // often not shown yet).
  x11::addDamage(*record, record->pixels.bounds());
  return record;
}

void destroyWindow(WindowHandle handle) {
  auto held = x11::lock();
  WindowRecord* record = x11::liveOrGoneWindow(handle);
  if (!record) return;
  // A window that went and never heard of it: the notice goes with it, undelivered.
  x11::endWindow(held, record, !record->gone);
}

void setWindowUserData(WindowHandle handle, void* data) {
  auto held = x11::lock();
  if (WindowRecord* record = x11::liveOrGoneWindow(handle)) record->userData = data;
}

void* windowUserData(WindowHandle handle) {
  auto held = x11::lock();
  WindowRecord* record = x11::liveOrGoneWindow(handle);
  return record ? record->userData : nullptr;
}

Rect windowScreenRect(WindowHandle handle) {
  auto held = x11::lock();
  Display* display = backend().display;
  const ::Window id = x11::xWindowOf(handle);
  if (!display || !id) return {};
  x11::ErrorTrap trap;
  // Our own windows have no border and the size we gave them: one round trip fewer, on every
  // drawing context the toolkit makes for them.
  XWindowAttributes attributes{};
  attributes.root = DefaultRootWindow(display);
  if (WindowRecord* record = x11::liveWindow(handle)) {
    attributes.width = record->pixels.width();
    attributes.height = record->pixels.height();
  } else if (!XGetWindowAttributes(display, id, &attributes)) {
    return {};
  }
  int x = 0, y = 0;
  ::Window child = 0;
  if (!XTranslateCoordinates(display, id, attributes.root, 0, 0, &x, &y, &child) || trap.caught()) return {};
  const int border = attributes.border_width;
  return {x - border, y - border, x + attributes.width + border, y + attributes.height + border};
}

WindowHandle windowParent(WindowHandle handle) {
  auto held = x11::lock();
  Display* display = backend().display;
  const ::Window id = x11::xWindowOf(handle);
  if (!display || !id) return nullptr;
  x11::ErrorTrap trap;
  ::Window root = 0, parent = 0;
  ::Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, id, &root, &parent, &children, &count) || trap.caught()) return nullptr;
  if (children) XFree(children);
  return x11::handleOf(parent);
}

std::string windowClassName(WindowHandle handle) {
  auto held = x11::lock();
  if (WindowRecord* record = x11::liveWindow(handle)) return record->className;
  Display* display = backend().display;
  const ::Window id = x11::xWindowOf(handle);
  if (!display || !id) return {};
  x11::ErrorTrap trap;
  XClassHint hint{};
  if (!XGetClassHint(display, id, &hint)) return {};
  std::string name = hint.res_class ? hint.res_class : "";
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return name;
}

// Captions belong to the window manager's frames, which are no windows of the host's.
bool windowHasCaption(WindowHandle) { return false; }

void resizeWindow(WindowHandle handle, int width, int height) {
  auto held = x11::lock();
  Display* display = backend().display;
  const ::Window id = x11::xWindowOf(handle);
  if (!display || !id) return;
  width = std::max(width, 1);
  height = std::max(height, 1);
  x11::ErrorTrap trap;
  XResizeWindow(display, id, static_cast<unsigned>(width), static_cast<unsigned>(height));
  if (WindowRecord* record = x11::liveWindow(handle)) {
    raster::Image resized(width, height, false);
    raster::copy(resized, resized.bounds(), resized.bounds(), record->pixels, {0, 0});
    record->pixels = std::move(resized);
    x11::releasePresenter(record->presenter);
    x11::makePresenter(*record);
    record->damage = raster::intersect(record->damage, record->pixels.bounds());
    record->damaged = record->damaged && !raster::isEmpty(record->damage);
  }
  XFlush(display);
}

Point screenToClient(WindowHandle handle, Point screen) {
  auto held = x11::lock();
  Display* display = backend().display;
  const ::Window id = x11::xWindowOf(handle);
  if (!display || !id) return screen;
  x11::ErrorTrap trap;
  int x = 0, y = 0;
  ::Window child = 0;
  if (!XTranslateCoordinates(display, DefaultRootWindow(display), id, screen.x, screen.y, &x, &y, &child) ||
      trap.caught())
    return screen;
  return {x, y};
}

void invalidateWindow(WindowHandle handle, const Rect& rect) {
  auto held = x11::lock();
  if (WindowRecord* record = x11::liveWindow(handle)) x11::addDamage(*record, rect);
}

bool windowUpdateRect(WindowHandle handle, Rect& damaged) {
  auto held = x11::lock();
  WindowRecord* record = x11::liveWindow(handle);
  if (!record || !record->damaged) return false;
  damaged = record->damage;
  return true;
}

Surface* beginPaint(WindowHandle handle, Rect& damaged) {
  auto held = x11::lock();
  damaged = Rect{};
  WindowRecord* record = x11::liveWindow(handle);
  if (!record) return nullptr;
  if (record->damaged) damaged = record->damage;
  record->damaged = false;
  return new raster::RasterSurface(record->pixels, damaged);
}

void endPaint(WindowHandle window, Surface* surface) { releaseWindowSurface(window, surface); }

Surface* acquireWindowSurface(WindowHandle handle) {
  auto held = x11::lock();
  WindowRecord* record = x11::liveWindow(handle);
  return record ? new raster::RasterSurface(record->pixels) : nullptr;
}

// What was drawn goes to the server when the surface is given back.
void releaseWindowSurface(WindowHandle handle, Surface* surface) {
  if (!surface) return;
  auto held = x11::lock();
  const Rect touched = static_cast<raster::RasterSurface*>(surface)->touched();
  delete surface;
  if (WindowRecord* record = x11::liveWindow(handle)) x11::present(*record, touched);
}

bool dispatchPendingPaint() {
  auto held = x11::lock();
  x11::readEvents();
  for (WindowRecord* record : backend().windows) {
    if (record->gone || !record->damaged) continue;
    x11::callProcedure(held, record, {MessageType::paint, {}, 0});
    return true;
  }
  return false;
}

void dispatchWindowEvents(WindowHandle handle) {
  auto held = x11::lock();
  WindowRecord* record = x11::liveOrGoneWindow(handle);
  if (!record) return;
  x11::readEvents();
  if (record->gone) {
    x11::endWindow(held, record, true);
    return;
  }
  const std::uint64_t serial = record->serial;
  // What is pending now, in order; whatever its handling brings in waits for the next call.
  for (std::size_t count = record->pending.size(); count > 0; --count) {
    if (record->pending.empty()) break;
    const x11::PendingEvent event = record->pending.front();
    // A drag enters only with what it offers, which may still be on its way; the rest waits too.
    if (event.kind == x11::PendingEvent::dragStep && x11::dragStepWaits(event.drag)) break;
    record->pending.pop_front();
    if (event.kind == x11::PendingEvent::dragStep) {
      x11::deliverDragStep(held, *record, event.drag);
    } else {
      const long used = x11::callProcedure(held, record, event.message);
      if (event.kind == x11::PendingEvent::key && !used) x11::passKeyOn(event.keyEvent);
    }
    record = x11::windowBySerial(serial);
    if (!record || record->gone) return;  // went while its events were handled
  }
  if (record->damaged) x11::callProcedure(held, record, {MessageType::paint, {}, 0});
}

CursorHandle systemCursor(CursorShape shape) { return &x11::gCursorTokens[static_cast<int>(shape)]; }

CursorHandle currentCursor(WindowHandle handle) {
  auto held = x11::lock();
  WindowRecord* record = x11::liveWindow(handle);
  if (!record) return nullptr;
  return record->cursor ? record->cursor : &x11::gParentCursorToken;
}

void setCurrentCursor(WindowHandle handle, CursorHandle cursor) {
  auto held = x11::lock();
  WindowRecord* record = x11::liveWindow(handle);
  if (!record) return;
  x11::Backend& b = backend();
  const auto* token = static_cast<const int*>(cursor);
  const bool shape = token >= x11::gCursorTokens && token < x11::gCursorTokens + x11::kCursorShapes;
  x11::ErrorTrap trap;
  if (shape) {
    const auto index = static_cast<std::size_t>(token - x11::gCursorTokens);
    if (!b.cursors[index]) b.cursors[index] = XCreateFontCursor(b.display, x11::kCursorGlyphs[index]);
    XDefineCursor(b.display, record->id, b.cursors[index]);
  } else {
    XUndefineCursor(b.display, record->id);
  }
  record->cursor = shape ? cursor : &x11::gParentCursorToken;
  XFlush(b.display);
}

// A child window has no border of its own to account for.
int fixedFrameBorder() { return 0; }

// The raster has its own transparent copy and alpha blend, as the family with both.
bool queryPlatformVersion(PlatformVersion& version) {
  version = {11, 0, 2};
  return true;
}

ImagingLibrary loadImagingLibrary() { return {&backend(), true, true}; }
void releaseImagingLibrary(void*) {}

// Drag and drop needs nothing started per thread here. What an editor holds from its making to its
// end is the connection, so that an editor opened again finds it and does not connect anew.
void startOle() {
  auto held = x11::lock();
  ++backend().editorsHeld;
}

void stopOle() {
  auto held = x11::lock();
  if (backend().editorsHeld == 0) return;
  --backend().editorsHeld;
  x11::disconnectIfUnused();
}

}  // namespace platform
