// The X11 backend through the window seam, linked directly, on virtual displays of the test's own:
// what its calls leave on the server, and when.
#include "platform/window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/input.h"

// Last: X's macros would clash with names in the headers above.
#include "support/virtual_display.h"

namespace {

using platform::MessageType;
using platform::WindowHandle;

int gPaints = 0;
std::vector<platform::Message> gReceived;  // every message but paints, as the procedure had it

long countingProcedure(WindowHandle window, const platform::Message& message) {
  if (message.type == MessageType::paint)
    ++gPaints;
  else
    gReceived.push_back(message);
  return platform::defaultWindowProcedure(window, message);
}

WindowHandle handleOf(Window window) { return reinterpret_cast<WindowHandle>(window); }

class X11Window : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(platform::registerWindowClass("Probe", nullptr, countingProcedure)); }
  void TearDown() override { platform::unregisterWindowClass("Probe", nullptr); }
};

// The class and title the toolkit gives are the window's on the server; the host's windows are
// read from it: their classes, parents and places.
TEST_F(X11Window, ChildWindowsAreNamedAndPlacedInTheHostsWindows) {
  xtest::VirtualDisplay display;
  Display* x = display.connection();
  ASSERT_NE(x, nullptr) << "Xvfb did not start";
  const Window top = display.makeWindow(100, 100, 400, 300);
  XClassHint hostClass{const_cast<char*>("host"), const_cast<char*>("HostWindow")};
  XSetClassHint(x, top, &hostClass);
  const Window inner = XCreateSimpleWindow(x, top, 10, 20, 328, 264, 0, 0, 0);
  XMapWindow(x, inner);
  XSync(x, False);
  WindowHandle window = platform::createChildWindow("Probe", "Probe title", handleOf(inner), 328, 264);
  ASSERT_NE(window, nullptr);
  const Window id = display.children(inner).at(0);
  char* name = nullptr;
  XFetchName(x, id, &name);
  EXPECT_STREQ(name, "Probe title");
  XFree(name);
  EXPECT_EQ(platform::windowClassName(handleOf(top)), "HostWindow");
  EXPECT_EQ(platform::windowClassName(window), "Probe");
  EXPECT_EQ(display.findByClass(inner, "Probe"), id);

  EXPECT_EQ(platform::windowScreenRect(window), (platform::Rect{110, 120, 438, 384}));
  EXPECT_EQ(platform::windowScreenRect(handleOf(top)), (platform::Rect{100, 100, 500, 400}));
  EXPECT_EQ(platform::windowParent(window), handleOf(inner));
  EXPECT_EQ(platform::windowParent(handleOf(top)), nullptr) << "the root is no window of the host's";
  EXPECT_EQ(platform::screenToClient(handleOf(inner), {120, 130}), (platform::Point{10, 10}));

  platform::Rect damaged;
  EXPECT_TRUE(platform::windowUpdateRect(window, damaged) && damaged == (platform::Rect{0, 0, 328, 264}))
      << "a window that appears asks for a paint of all of it";

  // Buttons held and pressed over the window; keys typed over it, named or by the character they
  // type as Shift and the keyboard map make it (here changed on the way).
  const auto serve = [&] { platform::dispatchWindowEvents(window, platform::PendingEvents::all); };
  using platform::Key;
  XWarpPointer(x, None, id, 0, 0, 0, 0, 50, 50);
  XSync(x, False);
  ASSERT_TRUE(display.xdotool({"mousedown", "2"}, serve));
  EXPECT_EQ(platform::heldKeys(), platform::keyBit(Key::middleButton));
  EXPECT_TRUE(platform::isKeyDown(Key::middleButton));
  EXPECT_FALSE(platform::isKeyDown(Key::leftButton));
  ASSERT_TRUE(display.xdotool({"mouseup", "2", "click", "3", "key", "shift+a", "Left", "space", "shift+Tab",
                               "Down", "Return", "Escape", "KP_Enter", "KP_5", "F12"},
                              serve));
  KeySym spare[] = {0x10020ac, XK_eacute};  // keys of their own, as keyboard maps have them
  XChangeKeyboardMapping(x, 254, 1, spare, 2);
  XSync(x, False);
  ASSERT_TRUE(display.xdotool({"key", "U20AC", "eacute"}, serve));
  serve();
  using enum platform::NamedKey;
  using Typed = std::tuple<MessageType, platform::NamedKey, char32_t, platform::KeySet>;
  std::vector<Typed> typed;
  for (const platform::Message& m : gReceived)
    if (!(m.key == shift) && !(m.type == MessageType::keyUp))
      typed.emplace_back(m.type, m.key, m.character, m.type == MessageType::keyDown ? m.keys : m.keys & 7);
  const auto key = [](platform::NamedKey named, char32_t character = 0, platform::KeySet keys = 0) {
    return Typed{MessageType::keyDown, named, character, keys};
  };
  const platform::KeySet withShift = platform::keyBit(Key::shift);
  EXPECT_EQ(typed,
            (std::vector<Typed>{{MessageType::middleButtonDown, none, 0, platform::keyBit(Key::middleButton)},
                                {MessageType::rightButtonDown, none, 0, platform::keyBit(Key::rightButton)},
                                key(none, U'A', withShift),
                                key(left),
                                key(space),
                                key(tab, 0, withShift),
                                key(down),
                                key(returnKey),
                                key(escape),
                                key(keypadEnter),
                                key(numLock),
                                key(keypad5),
                                key(f12),
                                key(none, U'€'),
                                key(none, U'é')}));

  // Resized taller than wide, it still shows what is drawn at its bottom.
  platform::resizeWindow(window, 100, 200);
  XWindowAttributes attributes{};
  XGetWindowAttributes(x, id, &attributes);
  EXPECT_EQ(attributes.width, 100);
  EXPECT_EQ(attributes.height, 200);
  platform::Surface* surface = platform::acquireWindowSurface(window);
  surface->createBrush({0, 0, 255});
  surface->fillRect({0, 0, 100, 200});
  platform::releaseWindowSurface(window, surface);
  EXPECT_EQ(display.grab(id, 100, 200).at(50, 190)[2], 255);
  gReceived.clear();
  platform::destroyWindow(window);
  ASSERT_EQ(gReceived.size(), 1u);
  EXPECT_EQ(gReceived[0].type, MessageType::destroy) << "the procedure hears of the end of its window";
}

// A picture given back is the server's before its memory is drawn into again, even while another
// client holds the server; an expose that arrives meanwhile is handled when the window's events
// are next taken.
TEST_F(X11Window, APictureIsTheServersWhenItsSurfaceIsGivenBack) {
  for (const bool shared : {true, false}) {
    xtest::VirtualDisplay server(
        24, shared ? std::vector<std::string>{} : std::vector<std::string>{"-extension", "MIT-SHM"});
    Display* x = server.connection();
    ASSERT_NE(x, nullptr) << "Xvfb did not start";
    const Window host = server.makeWindow(0, 0, 328, 264);
    WindowHandle window = platform::createChildWindow("Probe", "", handleOf(host), 328, 264);
    ASSERT_NE(window, nullptr);
    platform::dispatchWindowEvents(window, platform::PendingEvents::all);
    platform::Surface* surface = platform::acquireWindowSurface(window);
    surface->createBrush({0, 0, 255});
    surface->fillRect({0, 0, 328, 264});

    XGrabServer(x);
    XEvent expose{};
    expose.xexpose = {Expose, 0, True, x, server.children(host).at(0), 0, 0, 10, 10, 0};
    XSendEvent(x, expose.xexpose.window, False, ExposureMask, &expose);
    XSync(x, False);
    std::atomic<bool> given{false};
    std::thread painter([&] {
      platform::releaseWindowSurface(window, surface);
      given = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(given) << "given back before the server took the picture";
    XUngrabServer(x);
    XSync(x, False);
    painter.join();
    EXPECT_EQ(server.grab(expose.xexpose.window, 328, 264).at(5, 5)[2], 255);

    gPaints = 0;
    platform::dispatchWindowEvents(window, platform::PendingEvents::all);
    EXPECT_EQ(gPaints, 1) << (shared ? "shared memory" : "plain requests");
    platform::invalidateWindow(window, {0, 0, 5, 5});
    EXPECT_TRUE(platform::dispatchPendingPaint()) << "a part made invalid is painted";
    EXPECT_FALSE(platform::dispatchPendingPaint());
    EXPECT_EQ(gPaints, 2);
    platform::destroyWindow(window);
  }
}

TEST(X11Input, TicksAreMillisecondsAndSleepWaitsThem) {
  const auto start = std::chrono::steady_clock::now();
  const std::uint32_t ticks = platform::tickCount();
  platform::sleep(30);
  const auto slept =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_GE(slept.count(), 30);
  EXPECT_NEAR(static_cast<double>(platform::tickCount() - ticks), static_cast<double>(slept.count()), 2.0);
}

}  // namespace
