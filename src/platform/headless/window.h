// Windows without a display: a tree of windows with screen positions, a registry of window
// classes, a message queue and the process-wide services of the window seam. Tests build host
// windows with it (captioned outer windows, an "MDIClient" parent), post presses, wheel turns and
// keys, and read what a person would see from each window's pixels. It behaves as the real window
// systems do where they differ in ways the toolkit must cope with: a posted press is handled
// whenever its window's events are taken, with the keys held when it was posted; and a window
// destroyed with its parent can be made to hear of it only when its events are next taken.
#pragma once

#include <string>
#include <vector>

#include "platform/raster/image.h"
#include "platform/window.h"

namespace platform::headless {

class Window {
 public:
  // A window a test owns, such as a host's, at a rectangle on the screen. Destroying it destroys
  // the windows inside it from outside, as a host closing its window would.
  explicit Window(const Rect& screenRect, Window* parent = nullptr, std::string className = "HostWindow",
                  bool caption = false);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  WindowHandle handle() { return this; }
  static Window* fromHandle(WindowHandle handle) { return static_cast<Window*>(handle); }

  const Rect& screenRect() const { return screenRect_; }
  Window* parent() const { return parent_; }
  const std::vector<Window*>& children() const { return children_; }
  const std::string& className() const { return className_; }
  const std::string& title() const { return title_; }
  bool caption() const { return caption_; }
  // Where the client area starts inside the outer rectangle (border and caption).
  void setClientInset(Point inset) { clientInset_ = inset; }
  Point clientOrigin() const { return {screenRect_.left + clientInset_.x, screenRect_.top + clientInset_.y}; }
  raster::Image& pixels() { return pixels_; }
  int surfacesOut() const { return surfacesOut_; }
  int resizeCount() const { return resizeCount_; }
  bool damaged() const { return damaged_; }

 private:
  friend struct WindowSystem;
  friend WindowHandle platform::createChildWindow(const std::string&, const std::string&, WindowHandle, int,
                                                  int);
  friend void platform::destroyWindow(WindowHandle);
  friend void platform::setWindowUserData(WindowHandle, void*);
  friend void* platform::windowUserData(WindowHandle);
  friend void platform::resizeWindow(WindowHandle, int, int);
  friend void platform::invalidateWindow(WindowHandle, const Rect&);
  friend bool platform::windowUpdateRect(WindowHandle, Rect&);
  friend Surface* platform::beginPaint(WindowHandle, Rect&);
  friend Surface* platform::acquireWindowSurface(WindowHandle);
  friend void platform::releaseWindowSurface(WindowHandle, Surface*);
  friend void platform::dispatchWindowEvents(WindowHandle);
  friend CursorHandle platform::currentCursor(WindowHandle);
  friend void platform::setCurrentCursor(WindowHandle, CursorHandle);
  Window(Window* parent, const std::string& className, const std::string& title, WindowProcedure procedure,
         int width, int height);
  void resize(int width, int height);
  void join();
  void tearDown();
  void vanish();

  Rect screenRect_;
  Window* parent_;
  std::vector<Window*> children_;
  std::string className_;
  std::string title_;
  bool caption_ = false;
  bool ownedBySystem_ = false;
  Point clientInset_;
  raster::Image pixels_;
  WindowProcedure procedure_ = nullptr;
  void* userData_ = nullptr;
  CursorHandle cursor_ = nullptr;
  bool damaged_ = false;
  Rect damage_;
  int surfacesOut_ = 0;
  int resizeCount_ = 0;
};

// Queues a press, a wheel turn or a key for the window; dispatchMessages, or taking the window's
// events, delivers it. A press or a wheel turn is stamped with the keys held now (the pressed
// button included), a key with the modifiers held now, as a window system stamps an event,
// whenever it is delivered. Keys the procedure leaves go nowhere: here the test is the host.
void postMessage(WindowHandle window, const Message& message);
// Delivers at once, stamped the same way, and answers what the procedure answered (for a key,
// whether it was used).
long sendMessage(WindowHandle window, const Message& message);
// Delivers every posted message, then every waiting paint; the number delivered. This is the
// host's own message loop, where there is one.
int dispatchMessages();

// Whether the handle is a live window of this copy of the window system.
bool isWindow(WindowHandle handle);
// Off (the default): a window destroyed together with its parent hears of it at once. On: it is
// gone at once (every call on it does nothing) but hears of it only when its events are next
// taken, as over a connection to a display server.
void setDestroyNoticesQueued(bool queued);
// The cursor last set on any window: what the user sees with the pointer over that window.
CursorHandle lastCursorSet();
bool isClassRegistered(const std::string& name);
int registeredClassCount();
int oleDepth();
DropTargetHandler* dropTargetOf(WindowHandle window);
// The innermost window with a drop target whose rectangle holds the screen point, or null: the
// window a drag over that point is offered to.
WindowHandle dropTargetWindowAt(Point screen);
int imagingLibrariesLoaded();
void setFixedFrameBorder(int pixels);
// Empties the queues and restores the default metrics and immediate destroy notices; windows and
// classes are left alone.
void resetWindowSystem();

}  // namespace platform::headless
