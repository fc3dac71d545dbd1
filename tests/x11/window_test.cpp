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
platform::Rect gDamage;                    // of the last paint
std::vector<platform::Message> gReceived;  // every message but paints, as the procedure had it

long countingProcedure(WindowHandle window, const platform::Message& message) {
  if (message.type == MessageType::paint)
    ++gPaints, platform::windowUpdateRect(window, gDamage);
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
  XSetWindowBorderWidth(x, top, 5);
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
  EXPECT_TRUE(display.xdotool({"search", "--name", "^Probe title$"})) << "the title";
  EXPECT_EQ(platform::windowClassName(handleOf(top)), "HostWindow");
  EXPECT_EQ(platform::windowClassName(window), "Probe");
  EXPECT_EQ(display.findByClass(inner, "Probe"), id);
  EXPECT_EQ(display.property(id, "_XEMBED_INFO"), (std::vector<long>{0, 1})) << "XEmbed's version 0, mapped";

  EXPECT_EQ(platform::windowScreenRect(window), (platform::Rect{115, 125, 443, 389}));
  EXPECT_EQ(platform::windowScreenRect(handleOf(top)), (platform::Rect{100, 100, 510, 410}))
      << "with its border";
  EXPECT_EQ(platform::windowParent(window), handleOf(inner));
  EXPECT_EQ(platform::windowParent(handleOf(top)), nullptr) << "the root is no window of the host's";
  EXPECT_EQ(platform::screenToClient(handleOf(inner), {120, 130}), (platform::Point{5, 5}));

  platform::Rect damaged;
  EXPECT_TRUE(platform::windowUpdateRect(window, damaged) && damaged == (platform::Rect{0, 0, 328, 264}))
      << "a window that appears asks for a paint of all of it";

  // Buttons held and pressed over the window; keys typed over it, named or by the character they
  // type as Shift and the keyboard map make it (here changed on the way), with the modifiers held.
  const auto serve = [&] { platform::dispatchWindowEvents(window); };
  using platform::Key;
  XWarpPointer(x, None, id, 0, 0, 0, 0, 50, 50);
  XSync(x, False);
  ASSERT_TRUE(display.xdotool({"mousedown", "2"}, serve));
  EXPECT_EQ(platform::heldKeys(), platform::keyBit(Key::middleButton));
  EXPECT_TRUE(platform::isKeyDown(Key::middleButton) && !platform::isKeyDown(Key::leftButton));
  ASSERT_TRUE(
      display.xdotool(xtest::words("mouseup 2 click 3 key shift+a Left Up Right space shift+Tab Down Return "
                                   "Escape KP_Enter KP_5 KP_Add F12 F1 Prior Next Home End Insert Delete "
                                   "BackSpace Pause Print Scroll_Lock asciitilde ctrl+alt+x"),
                      serve));
  KeySym spare[] = {0x10020ac, XK_eacute};  // keys of their own, as keyboard maps have them
  XChangeKeyboardMapping(x, 254, 1, spare, 2);
  XSync(x, False);
  ASSERT_TRUE(display.xdotool({"key", "U20AC", "eacute"}, serve));
  serve();
  EXPECT_EQ(gReceived.at(0).type, MessageType::middleButtonDown);
  EXPECT_EQ(gReceived[0].keys, platform::keyBit(Key::middleButton));
  EXPECT_EQ(gReceived.at(1).type, MessageType::rightButtonDown);
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
  const auto showsCursor = [&](platform::CursorHandle cursor) {
    platform::setCurrentCursor(window, cursor);
    platform::heldKeys();  // a round trip of the backend's: what it sent before is done
    XFixesCursorImage* image = XFixesGetCursorImage(x);
    const unsigned long serial = image->cursor_serial;
    XFree(image);
    return serial;
  };
  using Shape = platform::CursorShape;
  const platform::CursorHandle asParent = platform::currentCursor(window);
  const unsigned long parents = showsCursor(asParent),
                      hand = showsCursor(platform::systemCursor(Shape::hand));
  EXPECT_EQ(platform::currentCursor(window), platform::systemCursor(Shape::hand));
  EXPECT_NE(showsCursor(platform::systemCursor(Shape::no)), hand);
  EXPECT_TRUE(showsCursor(platform::systemCursor(Shape::hand)) == hand && hand != parents);
  EXPECT_EQ(showsCursor(&hand), parents) << "a handle of no shape";
  EXPECT_EQ(platform::currentCursor(window), asParent);

  // Resized taller than wide, it keeps its picture and what is still to be painted of it (an expose
  // of all of it would add to that), and shows what is drawn at its bottom.
  platform::Surface* surface = platform::acquireWindowSurface(window);
  surface->createBrush({255, 0, 0});
  surface->fillRect({0, 0, 328, 264});
  platform::releaseWindowSurface(window, surface);
  platform::invalidateWindow(window, {50, 150, 328, 264});
  platform::resizeWindow(window, 100, 200);
  XWindowAttributes attributes{};
  XGetWindowAttributes(x, id, &attributes);
  EXPECT_TRUE(attributes.width == 100 && attributes.height == 200);
  surface = platform::acquireWindowSurface(window);
  surface->createBrush({0, 0, 255});
  surface->fillRect({0, 190, 100, 200});
  surface->fillRect({0, 0, 1, 1});  // what goes to the server is one rectangle around both
  platform::releaseWindowSurface(window, surface);
  const pictures::Picture shown = display.grab(id, 100, 200);
  EXPECT_TRUE(shown.at(50, 50)[0] == 255 && shown.at(50, 195)[2] == 255);
  serve();
  EXPECT_TRUE(gDamage == (platform::Rect{50, 150, 100, 200}) && !platform::windowUpdateRect(window, damaged));

  WindowHandle inside = platform::createChildWindow("Probe", "", window, 10, 10);
  EXPECT_EQ(platform::windowParent(inside), window) << "a window of ours by its handle";

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
  platform::dispatchWindowEvents(window);
  ASSERT_EQ(gReceived.size(), 1u);
  EXPECT_EQ(gReceived[0].type, MessageType::destroy);
  platform::destroyWindow(window);
  platform::destroyWindow(inside);  // gone as well: its notice goes with it, unheard
  EXPECT_EQ(gReceived.size(), 1u) << "the notice is heard once, and only with the window's events";
  const XErrorHandler after = XSetErrorHandler(nullptr);
  EXPECT_EQ(after, XSetErrorHandler(nullptr)) << "the error handler we found is back";
}

// A host window of 32 bits, whose alpha counts.
Window windowWithAlpha(const xtest::VirtualDisplay& display) {
  Display* x = display.connection();
  XVisualInfo info{};
  if (!XMatchVisualInfo(x, DefaultScreen(x), 32, TrueColor, &info)) return 0;
  XSetWindowAttributes attributes{};
  attributes.colormap = XCreateColormap(x, display.root(), info.visual, AllocNone);
  const Window window = XCreateWindow(x, display.root(), 0, 0, 328, 264, 0, 32, InputOutput, info.visual,
                                      CWColormap | CWBorderPixel | CWBackPixel, &attributes);
  XMapWindow(x, window);
  XSync(x, False);
  return window;
}

// Servers other than the usual get the same pictures by plain requests: one without shared memory,
// and one that cannot reach ours (as over ssh -X; here in a host window of 32 bits, made opaque).
// With shared memory, a picture given back is the server's before its memory is drawn into again,
// even while another client holds the server; an expose that arrives meanwhile is handled with the
// window's events. The host's own X errors reach its handler, also while ours is in and after it put
// ours back; on a 16-bit screen no window is made.
TEST_F(X11Window, PicturesReachEveryServerAndTheHostsErrorsStayItsOwn) {
  static int hostErrors = 0;
  const XErrorHandler hostHandler = [](Display*, XErrorEvent*) { return ++hostErrors, 0; };
  XSetErrorHandler(hostHandler);
  enum Server { shared, plain, unreachable };
  for (const Server kind : {shared, plain, unreachable}) {
    xtest::VirtualDisplay server(
        24, kind == plain ? std::vector<std::string>{"-extension", "MIT-SHM"} : std::vector<std::string>{},
        kind == unreachable);
    Display* x = server.connection();
    ASSERT_NE(x, nullptr) << "Xvfb did not start";
    const Window host = kind == unreachable ? windowWithAlpha(server) : server.makeWindow(0, 0, 328, 264);
    WindowHandle window = platform::createChildWindow("Probe", "", handleOf(host), 328, 264);
    ASSERT_NE(window, nullptr) << kind;
    const Window id = server.children(host).at(0);
    platform::dispatchWindowEvents(window);
    platform::Surface* surface = platform::acquireWindowSurface(window);
    surface->createBrush({255, 0, 0});
    surface->fillRect({0, 0, 328, 100});
    surface->createBrush({0, 0, 255});
    surface->fillRect({0, 200, 328, 264});  // and between them what the window held: nothing yet

    XGrabServer(x);
    XEvent expose{};
    expose.xexpose = {Expose, 0, True, x, id, 10, 20, 30, 40, 0};
    XSendEvent(x, id, False, ExposureMask, &expose);
    XSync(x, False);
    std::atomic<bool> given{false};
    std::thread painter([&] {
      platform::releaseWindowSurface(window, surface);
      given = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(given) << "given back before the server took the picture";
    XMapWindow(x, 1);  // no such window
    XSync(x, False);
    const XErrorHandler found = XSetErrorHandler(hostHandler);
    XUngrabServer(x);
    XSync(x, False);
    painter.join();
    XSetErrorHandler(found);
    EXPECT_EQ(server.resourcesOfOwner(id)["ShmSeg"], kind == shared ? 1 : 0) << kind;
    const pictures::Picture shown = server.grab(id, 328, 264);
    EXPECT_TRUE(shown.at(5, 5)[0] == 255 && shown.at(5, 5)[2] == 0 && shown.at(5, 200)[2] == 255) << kind;
    XImage* image = XGetImage(x, id, 200, 150, 1, 1, AllPlanes, ZPixmap);
    EXPECT_EQ(XGetPixel(image, 0, 0) >> 24, kind == unreachable ? 0xffu : 0u) << "the window is opaque";
    XDestroyImage(image);

    gPaints = 0;
    platform::dispatchWindowEvents(window);
    EXPECT_TRUE(gPaints == 1 && gDamage == (platform::Rect{10, 20, 40, 60}))
        << "what was exposed, painted once";
    platform::invalidateWindow(window, {0, 0, 5, 5});
    EXPECT_TRUE(platform::dispatchPendingPaint()) << "a part made invalid is painted";
    EXPECT_FALSE(platform::dispatchPendingPaint());
    EXPECT_EQ(gPaints, 2);
    // A small part drawn goes out at once, with no request of ours after it.
    surface = platform::acquireWindowSurface(window);
    surface->createBrush({0, 255, 0});
    surface->fillRect({0, 0, 5, 5});
    platform::releaseWindowSurface(window, surface);
    for (int tries = 0; tries < 100 && server.grab(id, 5, 5).at(2, 2)[1] != 255; ++tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(server.grab(id, 5, 5).at(2, 2)[1], 255) << kind;
    gReceived.clear();
    platform::destroyWindow(window);
    EXPECT_EQ(gReceived.size(), 1u) << "the procedure hears of the end of its window";
    XMapWindow(x, 1);
    XSync(x, False);
  }
  xtest::VirtualDisplay shallow(16);
  const Window host = shallow.makeWindow(0, 0, 328, 264);
  EXPECT_EQ(platform::createChildWindow("Probe", "", handleOf(host), 328, 264), nullptr);
  EXPECT_EQ(XSetErrorHandler(nullptr), hostHandler);
  EXPECT_EQ(hostErrors, 6);
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
