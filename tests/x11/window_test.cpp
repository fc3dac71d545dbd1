// The X11 backend through the window seam, linked directly, on virtual displays of the test's own:
// what its calls leave on the server, and when.
#include "platform/window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "platform/input.h"

// Last: X's macros would clash with names in the headers above.
#include "support/virtual_display.h"

namespace {

using platform::MessageType;
using platform::WindowHandle;

int gPaints = 0;
std::vector<platform::Message> gKeys;  // key presses, as the procedure had them

long countingProcedure(WindowHandle window, const platform::Message& message) {
  if (message.type == MessageType::paint) ++gPaints;
  if (message.type == MessageType::keyDown) gKeys.push_back(message);
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

  // Keys typed over the window, named or by the character they type as Shift makes it.
  XWarpPointer(x, None, id, 0, 0, 0, 0, 50, 50);
  KeySym euro = 0x10020ac;  // on a key of its own, as keyboard maps have it
  XChangeKeyboardMapping(x, 255, 1, &euro, 1);
  XSync(x, False);
  ASSERT_TRUE(display.xdotool({"key", "shift+a", "Left", "shift+Tab", "KP_Enter", "F12", "U20AC"},
                              [&] { platform::dispatchWindowEvents(window, platform::PendingEvents::all); }));
  platform::dispatchWindowEvents(window, platform::PendingEvents::all);
  std::vector<std::pair<platform::NamedKey, char32_t>> typed;
  for (const platform::Message& key : gKeys)
    if (!(key.key == platform::NamedKey::shift)) typed.emplace_back(key.key, key.character);
  using enum platform::NamedKey;
  EXPECT_EQ(typed,
            (decltype(typed){{none, U'A'}, {left, 0}, {tab, 0}, {keypadEnter, 0}, {f12, 0}, {none, U'€'}}));
  EXPECT_TRUE(gKeys.size() > 1 && gKeys[1].keys & platform::keyBit(platform::Key::shift));

  platform::resizeWindow(window, 200, 100);
  XWindowAttributes attributes{};
  XGetWindowAttributes(x, id, &attributes);
  EXPECT_EQ(attributes.width, 200);
  EXPECT_EQ(attributes.height, 100);
  platform::destroyWindow(window);
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
    platform::dispatchWindowEvents(window, platform::PendingEvents::all);
    EXPECT_EQ(gPaints, 2) << "a part made invalid is painted";
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
