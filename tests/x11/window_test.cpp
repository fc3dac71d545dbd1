// The X11 backend through the window seam, linked directly, on virtual displays of the test's own:
// what its calls leave on the server, and when.
#include "platform/window.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "platform/input.h"

// Last: X's macros would clash with names in the headers above.
#include <X11/extensions/Xfixes.h>

#include "support/virtual_display.h"
#undef CursorShape  // X's name for a query class

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
  setenv("XKB_DISABLE", "1", 1);  // the backend's connection without XKB, which keeps its own keyboard map
  WindowHandle window = platform::createChildWindow("Probe", "Probe title", handleOf(inner), 328, 264);
  unsetenv("XKB_DISABLE");
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
  // type as Shift and the keyboard map make it (here changed on the way), with the modifiers held.
  const auto serve = [&] { platform::dispatchWindowEvents(window, platform::PendingEvents::all); };
  using platform::Key;
  XWarpPointer(x, None, id, 0, 0, 0, 0, 50, 50);
  XSync(x, False);
  ASSERT_TRUE(display.xdotool({"mousedown", "2"}, serve));
  EXPECT_EQ(platform::heldKeys(), platform::keyBit(Key::middleButton));
  EXPECT_TRUE(platform::isKeyDown(Key::middleButton));
  EXPECT_FALSE(platform::isKeyDown(Key::leftButton));
  ASSERT_TRUE(display.xdotool(
      {"mouseup", "2",         "click",     "3",     "key",         "shift+a",    "Left",      "Up",
       "Right",   "space",     "shift+Tab", "Down",  "Return",      "Escape",     "KP_Enter",  "KP_5",
       "KP_Add",  "F12",       "F1",        "Prior", "Next",        "Home",       "End",       "Insert",
       "Delete",  "BackSpace", "Pause",     "Print", "Scroll_Lock", "asciitilde", "ctrl+alt+x"},
      serve));
  KeySym spare[] = {0x10020ac, XK_eacute};  // keys of their own, as keyboard maps have them
  XChangeKeyboardMapping(x, 254, 1, spare, 2);
  XSync(x, False);
  ASSERT_TRUE(display.xdotool({"key", "U20AC", "eacute"}, serve));
  serve();
  ASSERT_GE(gReceived.size(), 2u);
  EXPECT_EQ(gReceived[0].type, MessageType::middleButtonDown);
  EXPECT_EQ(gReceived[0].keys, platform::keyBit(Key::middleButton));
  EXPECT_EQ(gReceived[1].type, MessageType::rightButtonDown);
  EXPECT_EQ(gReceived[1].keys, platform::keyBit(Key::rightButton));
  using enum platform::NamedKey;
  std::vector<platform::NamedKey> named;
  std::u32string characters;
  std::string held;  // per key: Shift 1, Control 2, Alt 4
  for (const platform::Message& m : gReceived)
    if (m.type == MessageType::keyDown && m.key != shift && m.key != control && m.key != alt) {
      named.push_back(m.key);
      if (m.character) characters += m.character;
      held += static_cast<char>('0' + (m.keys >> static_cast<int>(Key::shift)));
    }
  EXPECT_EQ(named,
            (std::vector{none,       left,        up,      right,   space,     tab,       down,  returnKey,
                         escape,     keypadEnter, numLock, keypad5, keypadAdd, f12,       f1,    pageUp,
                         pageDown,   home,        end,     insert,  deleteKey, backspace, pause, print,
                         scrollLock, none,        none,    none,    none}));
  EXPECT_EQ(characters, U"A~x€é");
  EXPECT_EQ(held, "10000100000000000000000001600");

  // Over the window the pointer shows the shape set for it, each made once, or else the parent's.
  const auto shownCursor = [&] {
    platform::heldKeys();  // a round trip of the backend's: what it sent before is done
    XFixesCursorImage* image = XFixesGetCursorImage(x);
    const unsigned long serial = image->cursor_serial;
    XFree(image);
    return serial;
  };
  const unsigned long parents = shownCursor();
  const platform::CursorHandle asParent = platform::currentCursor(window);
  platform::setCurrentCursor(window, platform::systemCursor(platform::CursorShape::hand));
  EXPECT_EQ(platform::currentCursor(window), platform::systemCursor(platform::CursorShape::hand));
  const unsigned long hand = shownCursor();
  platform::setCurrentCursor(window, platform::systemCursor(platform::CursorShape::no));
  const unsigned long no = shownCursor();
  platform::setCurrentCursor(window, platform::systemCursor(platform::CursorShape::hand));
  EXPECT_EQ(shownCursor(), hand);
  EXPECT_TRUE(parents != hand && hand != no && no != parents);
  platform::setCurrentCursor(window, &hand);  // a handle of no shape
  EXPECT_EQ(platform::currentCursor(window), asParent);
  EXPECT_EQ(shownCursor(), parents);

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

  WindowHandle inside = platform::createChildWindow("Probe", "", window, 10, 10);
  EXPECT_EQ(platform::windowParent(inside), window) << "a window of ours by its handle";
  platform::destroyWindow(inside);

  // The host destroys its window: once that is read, the window answers as a null one, is painted
  // no more, and its procedure hears of its end only when all its events are taken.
  platform::dispatchPendingPaint();  // what came so far is taken: the notice will be read at once
  platform::invalidateWindow(window, {0, 0, 5, 5});
  XDestroyWindow(x, inner);
  XSync(x, False);
  gReceived.clear();
  gPaints = 0;
  EXPECT_FALSE(platform::dispatchPendingPaint());
  EXPECT_FALSE(platform::windowUpdateRect(window, damaged));
  EXPECT_EQ(platform::acquireWindowSurface(window), nullptr);
  platform::dispatchWindowEvents(window, platform::PendingEvents::paint);
  EXPECT_TRUE(gReceived.empty() && gPaints == 0);
  platform::dispatchWindowEvents(window, platform::PendingEvents::all);
  ASSERT_EQ(gReceived.size(), 1u);
  EXPECT_EQ(gReceived[0].type, MessageType::destroy);
  platform::destroyWindow(window);
  EXPECT_EQ(gReceived.size(), 1u) << "the notice is heard once";
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
    gReceived.clear();
    platform::destroyWindow(window);
    EXPECT_EQ(gReceived.size(), 1u) << "the procedure hears of the end of its window";
  }
}

// Ticks are the milliseconds of the monotonic clock; a signal does not cut a sleep short.
TEST(X11Input, TicksAreMillisecondsAndSleepWaitsThem) {
  using namespace std::chrono;
  const auto start = steady_clock::now();
  EXPECT_NEAR(platform::tickCount(),
              static_cast<std::uint32_t>(duration_cast<milliseconds>(start.time_since_epoch()).count()), 2);
  signal(SIGUSR1, [](int) {});
  std::thread interrupter(
      [sleeper = pthread_self()] { std::this_thread::sleep_for(10ms), pthread_kill(sleeper, SIGUSR1); });
  platform::sleep(30);
  interrupter.join();
  EXPECT_GE(duration_cast<milliseconds>(steady_clock::now() - start).count(), 30);
}

}  // namespace
