// Drops onto a frame on the X11 backend, on a virtual display: from a raw XDND source that checks
// every field of the editor's replies, and from a Qt 5 and a Tk (tkdnd) program driven with real
// input through the X server. Sources find the frame's window by its XdndAware property alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/x11/connection.h"
#include "probe_view.h"
#include "vstgui/cdroptarget.h"
#include "vstgui/cframe.h"

// Last: X's macros would clash with names in the headers above.
#include "support/virtual_display.h"
#include "support/xdnd_source.h"

namespace {

using namespace VSTGUI;
using Events = std::vector<std::string>;

constexpr int kHostX = 100, kHostY = 100;

class Drops : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(x, nullptr) << "Xvfb did not start";
    host = display.makeWindow(kHostX, kHostY, 328, 264);
    frame = new CFrame(CRect(0, 0, 328, 264), reinterpret_cast<void*>(host), nullptr);
    frame->addView(new probe::DragProbe(CRect(0, 0, 328, 264), log, "P"));
    xdndOpen(&source, x);
    XSync(platform::x11::backend().display, False);  // the frame's window is on the server,
    frame->idle();                                   // and the events that brought are taken
    long version = 0;
    target = xdndTargetAt(&source, kHostX + 1, kHostY + 1, &version);
    EXPECT_EQ(version, 5);
  }
  void TearDown() override {
    if (!frame) return;
    EXPECT_TRUE(!platform::x11::liveWindow(frame->getWindowHandle()) ||
                dropTarget()->getReferenceCount() == 2)
        << "the frame's and the registration's: every drag's went";
    frame->forget();
  }

  Atom atom(const char* name) const { return XInternAtom(x, name, False); }
  CDropTarget* dropTarget() const {
    return static_cast<CDropTarget*>(platform::x11::liveWindow(frame->getWindowHandle())->dropTarget);
  }
  // One idle pass, with what the test sent before it on the editor's connection. The editor flushes
  // what it sends itself: the test waits for it, or takes it all in before it says none came.
  void idle() {
    XSync(x, False);
    frame->idle();
  }
  bool await(Window window, int type, XEvent& event) {
    for (int tries = 0; tries < 400; ++tries) {
      XSync(x, False);
      if (XCheckTypedWindowEvent(x, window, type, &event)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
  // The pointer and the raw source's position to a point of the screen, then an idle pass.
  void position(int rootX, int rootY, Time time = CurrentTime) {
    XWarpPointer(x, None, display.root(), 0, 0, 0, 0, rootX, rootY);
    xdndSend(&source, target, source.position, source.window, 0, rootX << 16 | rootY, time,
             source.actionCopy);
    idle();
  }
  void send(Atom message, Window from) {
    xdndSend(&source, target, message, from, 0, 0, 0, 0);
    idle();
  }
  bool answered() {
    platform::x11::ErrorTrap trap;  // errors the editor's requests caused are the editor's
    XSync(platform::x11::backend().display, False);
    XSync(x, False);
    XEvent event;
    return XCheckTypedEvent(x, ClientMessage, &event);
  }
  // The next reply to a source (the raw one unless named) is of the kind and right in every field.
  void expectReply(Atom kind, bool accepted, Window to = 0) {
    XEvent reply;
    ASSERT_TRUE(await(to ? to : source.window, ClientMessage, reply)) << "no reply";
    EXPECT_STREQ(xdndCheckReply(&source, &reply.xclient, kind, target, accepted, source.actionCopy), nullptr);
  }
  // xdotool drags from a toolkit's source window at (600, 100) onto the frame, served until the
  // source has heard how the drop went; the source's exit code, and what the views saw but moves.
  int drag(std::vector<std::string> argv, const Events& items, Events& seen) {
    const auto serve = [this] { frame->idle(); };
    argv.insert(argv.end(), {"Fadecrest drag source", "600", "100"});
    argv.insert(argv.end(), items.begin(), items.end());
    auto program = display.start(argv);
    EXPECT_TRUE(
        display.xdotool(xtest::words("search --sync --onlyvisible --name Fadecrest.drag.source "
                                     "mousemove 700 150 sleep 0.1 mousedown 1 sleep 0.1 mousemove 690 160 "
                                     "sleep 0.1 mousemove 264 232 sleep 0.5 mouseup 1"),
                        serve));
    const int exitCode = program->serveUntilExit(serve, std::chrono::seconds(10));
    std::erase_if(log, [](const std::string& event) { return event.find(" move ") != std::string::npos; });
    seen = std::exchange(log, {});
    return exitCode;
  }

  xtest::VirtualDisplay display;
  Display* x = display.connection();
  Window host = 0;
  CFrame* frame = nullptr;
  XdndSource source{};
  Window target = 0;
  Events log;
};

// Files offered fourth (in the type list only) beside text, their list sent after the idle pass
// that asked for it: the pass does not wait for it, and the drag enters once it has come.
TEST_F(Drops, FilesCountOnceTheirListHasComeAndEveryReplyFollowsTheProtocol) {
  const Atom uriList = atom("text/uri-list");
  const Atom types[] = {atom("text/x-moz-url"), atom("UTF8_STRING"), atom("text/plain"), uriList};
  xdndEnter(&source, target, 5, types, 4);
  position(kHostX + 320, kHostY + 20, 1234);  // with x and y swapped, below the window
  XEvent request;
  ASSERT_TRUE(await(source.window, SelectionRequest, request));
  EXPECT_EQ(request.xselectionrequest.time, 1234u) << "the position's time";
  EXPECT_TRUE(log.empty() && !answered()) << "nothing before the list has come";
  xdndServe(&source, &request.xselectionrequest, uriList,
            "file:///a.wav\r\n# a comment\r\nfile:\r\nhttp://example.com/b.wav\r\nFILE:///c%20d.wav\r\n");
  idle();
  expectReply(source.status, true);
  position(kHostX + 328, kHostY + 20);  // just off the window
  expectReply(source.status, false);
  position(kHostX + 10, kHostY);  // its top row
  expectReply(source.status, true);
  EXPECT_FALSE(XCheckTypedWindowEvent(x, source.window, SelectionRequest, &request)) << "asked once a drag";
  send(source.drop, source.window);
  expectReply(source.finished, true);
  // The drag is over: its source has to enter again before a step of it is taken.
  position(kHostX + 10, kHostY + 10);
  expectReply(source.status, false);
  send(source.drop, source.window);
  expectReply(source.finished, false);
  EXPECT_EQ(log, (Events{"P enter 320,20 2", "P leave 328,20 2", "P enter 10,0 2", "P drop 10,0 2",
                         "P leave 10,0 2"}));

  for (const char* text : {"UTF8_STRING", "text/plain;charset=utf-8", "text/plain;charset=UTF-8",
                           "text/plain", "STRING", "TEXT"}) {
    const Atom type = atom(text);
    xdndEnter(&source, target, 5, &type, 1);
    position(kHostX + 10, kHostY + 10);
    EXPECT_EQ(log.back(), "P enter 10,10 1") << text << " is text";
    send(source.leave, source.window);
  }
  // Drops turned off, and on again with a drag over the window when the host destroys it: sources
  // see the first on the window, and each lets its drop target go.
  CDropTarget* registered = dropTarget();
  registered->addRef();
  EXPECT_FALSE(platform::registerDropTarget(frame->getWindowHandle(), registered)) << "one a window";
  frame->setDropActive(false);
  XSync(platform::x11::backend().display, False);
  EXPECT_TRUE(display.property(target, "XdndAware").empty());
  EXPECT_EQ(registered->release(), 0u);
  frame->setDropActive(true);
  (registered = dropTarget())->addRef();
  xdndEnter(&source, target, 5, types, 1);
  position(kHostX + 20, kHostY + 20);
  XDestroyWindow(x, host);
  idle();
  EXPECT_EQ(registered->release(), 0u);
}

// Sources named 0 or 1 (the window under the pointer, the focus window) get no answer; one that did
// not enter is not taken for one that did; one that never sends its files holds up only its drag.
TEST_F(Drops, ForgedSourcesAreNotAnsweredAndSilentOnesNotWaitedFor) {
  const Window bystander = display.makeWindow(700, 500, 100, 100);
  XWarpPointer(x, None, display.root(), 0, 0, 0, 0, 750, 550);
  XSetInputFocus(x, bystander, RevertToNone, CurrentTime);
  for (const Window forged : {0x0, 0x1, 0x1fffff}) {  // the last names no window: replies fail
    xdndSend(&source, target, source.enter, forged, 5L << 24, static_cast<long>(atom("text/plain")), 0, 0);
    xdndSend(&source, target, source.position, forged, 0, (kHostX + 10L) << 16 | (kHostY + 10), 0, 0);
    send(source.drop, forged);
  }
  // A position of bytes, not longs, and one that says it is for another window than ours.
  for (const auto& [format, named] : {std::pair{8, target}, std::pair{32, display.root()}}) {
    XEvent forged{};
    forged.xclient = {ClientMessage, 0, True, x, named, source.position, format, {}};
    forged.xclient.data.l[0] = static_cast<long>(source.window);
    XSendEvent(x, target, False, NoEventMask, &forged);
  }
  EXPECT_FALSE(answered());

  const Atom types[] = {atom("text/x-moz-url"), atom("application/x-qt-image"), atom("text/uri-list")};
  xdndEnter(&source, target, 5, types, 3);
  position(kHostX + 10, kHostY + 10);
  send(source.leave, source.window);
  expectReply(source.status, true);
  EXPECT_EQ(log, (Events{"P enter 10,10 0", "P leave 10,10 0"})) << "a drag that left waits for nothing";
  position(kHostX + 10, kHostY + 10);
  expectReply(source.status, false);  // nor is it taken up again
  xdndEnter(&source, target, 5, types, 3);
  position(kHostX + 10, kHostY + 10);
  send(source.position, bystander);
  expectReply(source.status, false, bystander);  // another source, which did not enter
  EXPECT_EQ(log.size(), 2u) << "the drag waits for its files";
  display.start({"/bin/sleep", "1"})->serveUntilExit([this] { idle(); });  // the source's time runs out
  expectReply(source.status, true);
  send(source.drop, source.window);
  expectReply(source.finished, true);
  EXPECT_EQ(log, (Events{"P enter 10,10 0", "P leave 10,10 0", "P enter 10,10 0", "P drop 10,10 0",
                         "P leave 10,10 0"}));
}

TEST_F(Drops, FromQtAndTkSourcesFilesAndText) {
  Events seen;
  for (const Events& program :
       {Events{"/usr/bin/python3", FADECREST_QT_SOURCE}, Events{"/usr/bin/wish", FADECREST_TK_SOURCE}}) {
    EXPECT_EQ(drag(program, {"files", "/tmp/one.wav", "/tmp/two three.wav"}, seen), 1) << "copied";
    EXPECT_EQ(seen, (Events{"P enter 164,132 2", "P drop 164,132 2", "P leave 164,132 2"})) << program[1];
    EXPECT_EQ(drag(program, {"text", "Fadecrest"}, seen), 1) << "copied";
    EXPECT_EQ(seen, (Events{"P enter 164,132 1", "P drop 164,132 1", "P leave 164,132 1"})) << program[1];
  }
}

}  // namespace
