#include "platform/headless/window.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <utility>

#include "platform/headless/input.h"
#include "platform/headless/surface.h"

namespace platform::headless {

struct WindowSystem {
  std::set<const Window*> windows;  // every window alive in this copy of the window system
  std::set<const Window*> gone;     // destroyed from outside, not yet told so
  bool destroyNoticesQueued = false;
  CursorHandle lastCursor = nullptr;
  std::map<std::string, WindowProcedure> classes;
  std::deque<std::pair<Window*, Message>> posted;
  std::deque<Window*> paints;
  std::map<Window*, DropTargetHandler*> dropTargets;
  int oleDepth = 0;
  int imagingLoaded = 0;
  int fixedFrameBorder = 3;

  static WindowSystem& get() {
    static WindowSystem system;
    return system;
  }
  // A window that goes away takes its queued messages with it.
  void forget(Window* window) {
    std::erase_if(posted, [window](const auto& entry) { return entry.first == window; });
    std::erase(paints, window);
    releaseDropTarget(window);
  }
  // The registration's reference goes with the registration.
  void releaseDropTarget(Window* window) {
    const auto found = dropTargets.find(window);
    if (found == dropTargets.end()) return;
    DropTargetHandler* handler = found->second;
    dropTargets.erase(found);
    handler->release();
  }
  static long deliver(Window* window, const Message& message) {
    if (window->procedure_) return window->procedure_(window, message);
    return defaultWindowProcedure(window, message);
  }
  // A window destroyed from outside is kept, unreachable, until it has heard of it.
  static long deliverDestroyNotice(Window* window) {
    get().forget(window);  // the notice itself, wherever it waits
    const long result = deliver(window, {MessageType::destroy, {}, 0});
    get().gone.erase(window);
    delete window;
    return result;
  }
};

namespace {
WindowSystem& sys() { return WindowSystem::get(); }
constexpr int kCursorShapes = 9;
const int gCursorTokens[kCursorShapes] = {};

// The button a press message stands for, as the physical button isKeyDown reports.
KeySet pressedButton(MessageType type) {
  const bool swapped = buttonsSwapped();
  switch (type) {
    case MessageType::leftButtonDown:
      return keyBit(swapped ? Key::rightButton : Key::leftButton);
    case MessageType::rightButtonDown:
      return keyBit(swapped ? Key::leftButton : Key::rightButton);
    case MessageType::middleButtonDown:
      return keyBit(Key::middleButton);
    default:
      return 0;
  }
}

// What the window system writes into an input event when it happens.
Message stamped(Message message) {
  const bool input = message.type == MessageType::wheel || pressedButton(message.type) != 0;
  if (input) message.keys |= heldKeys() | pressedButton(message.type);
  if (message.type == MessageType::keyDown || message.type == MessageType::keyUp)
    message.keys |= heldKeys() & (keyBit(Key::shift) | keyBit(Key::control) | keyBit(Key::alt));
  return message;
}
}  // namespace

Window::Window(const Rect& screenRect, Window* parent, std::string className, bool caption)
    : screenRect_(screenRect),
      parent_(parent),
      className_(std::move(className)),
      caption_(caption),
      pixels_(screenRect.width(), screenRect.height(), false) {
  join();
}

Window::Window(Window* parent, const std::string& className, const std::string& title,
               WindowProcedure procedure, int width, int height)
    : parent_(parent),
      className_(className),
      title_(title),
      ownedBySystem_(true),
      pixels_(std::max(width, 0), std::max(height, 0), false),
      procedure_(procedure) {
  const Point origin = parent ? parent->clientOrigin() : Point{};
  screenRect_ = {origin.x, origin.y, origin.x + width, origin.y + height};
  join();
}

// Enters the window in the system and in its parent's children, both or neither.
void Window::join() {
  sys().windows.insert(this);
  try {
    if (parent_) parent_->children_.push_back(this);
  } catch (...) {
    sys().windows.erase(this);
    throw;
  }
}

Window::~Window() {
  if (!ownedBySystem_) tearDown();
  sys().windows.erase(this);
}

bool isWindow(WindowHandle handle) { return sys().windows.count(static_cast<const Window*>(handle)) != 0; }

namespace {
// The window behind a handle while it is alive; null for a window that went or any other handle
// (a real host passes a native window of its own), which is never read, so that calls on them do
// nothing, as on a window system that reports an error instead.
Window* live(WindowHandle handle) { return isWindow(handle) ? Window::fromHandle(handle) : nullptr; }
// The same, and a window that went but has not heard of it yet: it keeps its user data till then.
Window* liveOrGone(WindowHandle handle) {
  if (sys().gone.count(static_cast<const Window*>(handle)) != 0) return Window::fromHandle(handle);
  return live(handle);
}
}  // namespace

// Destruction as a window system does it: the window hears of it first, then its children go.
void Window::tearDown() {
  WindowSystem::deliver(this, {MessageType::destroy, {}, 0});
  while (!children_.empty()) {
    Window* child = children_.back();
    if (child->ownedBySystem_ && sys().destroyNoticesQueued) {
      child->vanish();
    } else if (child->ownedBySystem_) {
      destroyWindow(child);
    } else {
      child->tearDown();  // unlinks itself from children_
      child->parent_ = nullptr;
    }
  }
  if (parent_) std::erase(parent_->children_, this);
  parent_ = nullptr;
  sys().forget(this);
}

// Destruction from outside as a display server does it: the window and everything inside it go
// at once, and each hears of it only when its events are next taken.
void Window::vanish() {
  while (!children_.empty()) {
    Window* child = children_.back();
    if (child->ownedBySystem_) {
      child->vanish();
    } else {
      child->tearDown();
      child->parent_ = nullptr;
    }
  }
  if (parent_) std::erase(parent_->children_, this);
  parent_ = nullptr;
  sys().forget(this);
  damaged_ = false;
  sys().windows.erase(this);
  sys().gone.insert(this);
  sys().posted.emplace_back(this, Message{MessageType::destroy, {}, 0});
}

void Window::resize(int width, int height) {
  screenRect_.right = screenRect_.left + width;
  screenRect_.bottom = screenRect_.top + height;
  raster::Image resized(std::max(width, 0), std::max(height, 0), false);
  raster::copy(resized, resized.bounds(), resized.bounds(), pixels_, {0, 0});
  pixels_ = std::move(resized);
  ++resizeCount_;
}

void postMessage(WindowHandle window, const Message& message) {
  if (sys().gone.contains(static_cast<const Window*>(window))) return;  // lost with the window
  sys().posted.emplace_back(Window::fromHandle(window), stamped(message));
}

long sendMessage(WindowHandle window, const Message& message) {
  return WindowSystem::deliver(Window::fromHandle(window), stamped(message));
}

int dispatchMessages() {
  int delivered = 0;
  while (!sys().posted.empty()) {
    const auto [window, message] = sys().posted.front();
    sys().posted.pop_front();
    if (sys().gone.contains(window))
      WindowSystem::deliverDestroyNotice(window);
    else
      WindowSystem::deliver(window, message);
    ++delivered;
  }
  while (dispatchPendingPaint()) ++delivered;
  return delivered;
}

bool isClassRegistered(const std::string& name) { return sys().classes.contains(name); }
int registeredClassCount() { return static_cast<int>(sys().classes.size()); }
int oleDepth() { return sys().oleDepth; }
int imagingLibrariesLoaded() { return sys().imagingLoaded; }
void setFixedFrameBorder(int pixels) { sys().fixedFrameBorder = pixels; }
void setDestroyNoticesQueued(bool queued) { sys().destroyNoticesQueued = queued; }
CursorHandle lastCursorSet() { return sys().lastCursor; }

DropTargetHandler* dropTargetOf(WindowHandle window) {
  const auto found = sys().dropTargets.find(Window::fromHandle(window));
  return found == sys().dropTargets.end() ? nullptr : found->second;
}

WindowHandle dropTargetWindowAt(Point screen) {
  Window* best = nullptr;
  int bestDepth = -1;
  for (const auto& [window, handler] : sys().dropTargets) {
    const Rect& r = window->screenRect();
    if (screen.x < r.left || screen.x >= r.right || screen.y < r.top || screen.y >= r.bottom) continue;
    int depth = 0;
    for (const Window* p = window->parent(); p; p = p->parent()) ++depth;
    if (depth > bestDepth) {
      best = window;
      bestDepth = depth;
    }
  }
  return best;
}

void resetWindowSystem() {
  sys().posted.clear();
  sys().paints.clear();
  sys().fixedFrameBorder = 3;
  sys().destroyNoticesQueued = false;
  sys().lastCursor = nullptr;
}

}  // namespace platform::headless

namespace platform {

using headless::Window;
using headless::WindowSystem;

long defaultWindowProcedure(WindowHandle window, const Message& message) {
  if (message.type == MessageType::paint) {
    Rect damaged;
    endPaint(window, beginPaint(window, damaged));
  }
  return 0;
}

bool registerWindowClass(const std::string& name, ModuleHandle /*module*/, WindowProcedure procedure) {
  return headless::sys().classes.emplace(name, procedure).second;
}

void unregisterWindowClass(const std::string& name, ModuleHandle /*module*/) {
  headless::sys().classes.erase(name);
}

WindowHandle createChildWindow(const std::string& className, const std::string& title, WindowHandle parent,
                               int width, int height) {
  const auto found = headless::sys().classes.find(className);
  if (found == headless::sys().classes.end()) return nullptr;
  if (parent && !headless::isWindow(parent)) return nullptr;
  auto* window = new Window(Window::fromHandle(parent), className, title, found->second, width, height);
  // A window that appears needs painting, as on any desktop.
  invalidateWindow(window, window->pixels_.bounds());
  return window;
}

void destroyWindow(WindowHandle handle) {
  Window* window = headless::liveOrGone(handle);
  if (!window) return;
  if (headless::sys().gone.erase(window) != 0) {
    // Went with its parent and never heard of it: the notice goes with it, undelivered.
    headless::sys().forget(window);
    delete window;
    return;
  }
  window->tearDown();
  if (window->ownedBySystem_) delete window;
}

void setWindowUserData(WindowHandle handle, void* data) {
  if (Window* window = headless::liveOrGone(handle)) window->userData_ = data;
}

void* windowUserData(WindowHandle handle) {
  Window* window = headless::liveOrGone(handle);
  return window ? window->userData_ : nullptr;
}

Rect windowScreenRect(WindowHandle handle) {
  Window* window = headless::live(handle);
  return window ? window->screenRect() : Rect{};
}

WindowHandle windowParent(WindowHandle handle) {
  Window* window = headless::live(handle);
  return window ? window->parent() : nullptr;
}

std::string windowClassName(WindowHandle handle) {
  Window* window = headless::live(handle);
  return window ? window->className() : std::string();
}

bool windowHasCaption(WindowHandle handle) {
  Window* window = headless::live(handle);
  return window && window->caption();
}

void resizeWindow(WindowHandle handle, int width, int height) {
  if (Window* window = headless::live(handle)) window->resize(width, height);
}

Point screenToClient(WindowHandle handle, Point screen) {
  Window* window = headless::live(handle);
  if (!window) return screen;
  const Point origin = window->clientOrigin();
  return {screen.x - origin.x, screen.y - origin.y};
}

void invalidateWindow(WindowHandle handle, const Rect& rect) {
  Window* window = headless::live(handle);
  if (!window) return;
  const Rect r = raster::intersect(rect, window->pixels_.bounds());
  if (raster::isEmpty(r)) return;
  if (!window->damaged_) {
    window->damage_ = r;
    window->damaged_ = true;
    headless::sys().paints.push_back(window);
    return;
  }
  window->damage_ = raster::unite(window->damage_, r);
}

bool windowUpdateRect(WindowHandle handle, Rect& damaged) {
  Window* window = headless::live(handle);
  if (!window || !window->damaged_) return false;
  damaged = window->damage_;
  return true;
}

Surface* beginPaint(WindowHandle handle, Rect& damaged) {
  damaged = Rect{};
  Window* window = headless::live(handle);
  if (!window) return nullptr;
  if (window->damaged_) damaged = window->damage_;
  window->damaged_ = false;
  std::erase(headless::sys().paints, window);
  ++window->surfacesOut_;
  return new headless::HeadlessSurface(window->pixels_, damaged);
}

void endPaint(WindowHandle window, Surface* surface) { releaseWindowSurface(window, surface); }

bool dispatchPendingPaint() {
  auto& paints = headless::sys().paints;
  if (paints.empty()) return false;
  Window* window = paints.front();
  paints.pop_front();
  WindowSystem::deliver(window, {MessageType::paint, {}, 0});
  return true;
}

void dispatchWindowEvents(WindowHandle handle) {
  auto& system = headless::sys();
  if (system.gone.contains(static_cast<const Window*>(handle))) {
    WindowSystem::deliverDestroyNotice(Window::fromHandle(handle));
    return;
  }
  Window* window = headless::live(handle);
  if (!window) return;
  // What is pending now, in order; whatever its handling posts waits for the next call.
  const auto forWindow = [window](const auto& entry) { return entry.first == window; };
  for (auto pending = std::count_if(system.posted.begin(), system.posted.end(), forWindow); pending > 0;
       --pending) {
    const auto next = std::find_if(system.posted.begin(), system.posted.end(), forWindow);
    if (next == system.posted.end()) break;
    const Message message = next->second;
    system.posted.erase(next);
    WindowSystem::deliver(window, message);
    if (!headless::live(handle)) return;  // went while its events were handled
  }
  if (!window->damaged_) return;
  std::erase(system.paints, window);
  WindowSystem::deliver(window, {MessageType::paint, {}, 0});
}

Surface* acquireWindowSurface(WindowHandle handle) {
  Window* window = headless::live(handle);
  if (!window) return nullptr;
  ++window->surfacesOut_;
  return new headless::HeadlessSurface(window->pixels_);
}

void releaseWindowSurface(WindowHandle handle, Surface* surface) {
  if (!surface) return;
  if (Window* window = headless::liveOrGone(handle)) --window->surfacesOut_;
  delete surface;
}

CursorHandle systemCursor(CursorShape shape) { return &headless::gCursorTokens[static_cast<int>(shape)]; }

// A window that never had a cursor set shows its class's arrow.
CursorHandle currentCursor(WindowHandle handle) {
  Window* window = headless::live(handle);
  if (!window) return nullptr;
  return window->cursor_ ? window->cursor_ : systemCursor(CursorShape::arrow);
}

void setCurrentCursor(WindowHandle handle, CursorHandle cursor) {
  Window* window = headless::live(handle);
  if (!window) return;
  window->cursor_ = cursor;
  headless::sys().lastCursor = cursor;
}

int fixedFrameBorder() { return headless::sys().fixedFrameBorder; }

bool queryPlatformVersion(PlatformVersion& version) {
  version = {6, 1, 2};
  return true;
}

ImagingLibrary loadImagingLibrary() {
  ++headless::sys().imagingLoaded;
  return {&headless::sys(), true, true};
}

void releaseImagingLibrary(void* handle) {
  if (handle) --headless::sys().imagingLoaded;
}

void startOle() { ++headless::sys().oleDepth; }
void stopOle() { --headless::sys().oleDepth; }

bool registerDropTarget(WindowHandle handle, DropTargetHandler* handler) {
  Window* window = headless::live(handle);
  if (!window || !handler) return false;
  if (!headless::sys().dropTargets.emplace(window, handler).second) return false;
  handler->addRef();
  return true;
}

void revokeDropTarget(WindowHandle handle) {
  if (Window* window = headless::live(handle)) headless::sys().releaseDropTarget(window);
}

}  // namespace platform
