// The shipped module's editor in a window of a host program on a virtual X display: loaded with
// dlopen, made through VSTPluginMain, opened in the host's X window, idled as a host idles it, and
// used with real input through the X server (xdotool). What it shows is read back from the server
// and compared with the golden pictures of the headless editor: the same raster draws both.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "plugin_module.h"
#include "support/editor_gestures.h"
#include "support/virtual_display.h"

// Last: X's macros would clash with names in the headers above.
#include <X11/Xutil.h>
#include <X11/keysym.h>

namespace {

using gestures::EditorPoint;
using gestures::kInterval;
using gestures::kIntervalCentre;
using pictures::Picture;

// Hosts have the font libraries loaded for drawing of their own, and so has this one. Otherwise the
// module would be their only user, unloading it would take fontconfig's process-wide state with it,
// and the leak checker would count that state as lost.
const int gFontconfigVersion = FcGetVersion();

constexpr int kWidth = pictures::kEditorWidth, kHeight = pictures::kEditorHeight, kHostX = 100, kHostY = 100;

// The editor of an effect in a host window on the display, idled as a host idles it.
class EditorOnDisplay : public gestures::OpenEditor {
 public:
  EditorOnDisplay(const xtest::VirtualDisplay& display, Effect& effect, Window host, RecordingHost& recorder)
      : display_(display), effect_(effect), host_(host), recorder_(recorder) {}
  AEffect* effect() const override { return effect_.get(); }
  RecordingHost& host() override { return recorder_; }
  std::string onScreen(EditorPoint p) const override {
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display_.connection(), host_, display_.root(), p.x, p.y, &x, &y, &child);
    return std::to_string(x) + " " + std::to_string(y);
  }
  bool input(const std::string& arguments, bool servedMeanwhile = true) override {
    const bool ran = servedMeanwhile ? display_.xdotool(xtest::words(arguments), [&] { idle(); })
                                     : display_.xdotool(xtest::words(arguments));
    idle();
    return ran;
  }
  // Once the server shows the same twice in a row.
  Picture shown() override {
    const std::vector<Window> children = display_.children(host_);
    if (children.empty()) return {};
    idle();
    Picture picture = display_.grab(children.front(), kWidth, kHeight);
    for (int attempt = 0; attempt < 10; ++attempt) {
      idle();
      Picture again = display_.grab(children.front(), kWidth, kHeight);
      if (again == picture) break;
      picture = std::move(again);
    }
    return picture;
  }
  void idle() { effect_.dispatch(effEditIdle); }

 private:
  const xtest::VirtualDisplay& display_;
  Effect& effect_;
  Window host_;
  RecordingHost& recorder_;
};

// The System V shared memory segments this process made that are still there.
int sharedSegmentsOfThisProcess() {
  std::ifstream table("/proc/sysvipc/shm");  // a line of column names, then one a segment
  int count = 0;
  for (std::string key, id, perms, size, creator, rest; table >> key >> id >> perms >> size >> creator;) {
    count += creator == std::to_string(getpid());
    std::getline(table, rest);
  }
  return count;
}

class X11Editor : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(display.connection(), nullptr) << "Xvfb did not start";
    ASSERT_NE(module.entry(), nullptr) << PluginModule::loadError();
    host = display.makeWindow(kHostX, kHostY, kWidth, kHeight);
  }

  // A new effect at a program, its editor open in `window` and painted once.
  std::unique_ptr<Effect> openEditor(int program, Window window) {
    auto effect = std::make_unique<Effect>(module, RecordingHost::callback);
    effect->dispatch(effSetProgram, 0, program);
    effect->dispatch(effSetEditKnobMode, 0, 0);  // circular
    EXPECT_EQ(effect->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(window)), 1);
    effect->dispatch(effEditIdle);
    recorder.calls.clear();
    return effect;
  }
  // The editor of `effect` in `window` as the shared gestures drive it.
  EditorOnDisplay on(Effect& effect, Window window = 0) {
    return EditorOnDisplay(display, effect, window ? window : host, recorder);
  }

  xtest::VirtualDisplay display;
  PluginModule module;
  RecordingHost recorder;
  Window host = 0;
};

// A child window of the host's that shows the golden pictures and takes clicks, drags and wheel
// turns. Events the plug-in's connection took in while it waited for the server (for the opening of
// a second editor) are handled at the next idle pass, although the socket is empty by then: parts
// painted over by another client show the editor again.
TEST_F(X11Editor, ShowsTheGoldenPicturesInAChildWindowAndTakesClicksDragsAndWheelTurns) {
  auto effect = openEditor(3, host);
  const Window editor = display.children(host).at(0);

  EditorOnDisplay shown = on(*effect);
  gestures::expectTheTitleShowsTheAboutPictureUntilTheNextClick(shown);
  gestures::expectAKnobDragAutomatesRisingValuesInOneGesture(shown);
  gestures::expectWheelNotchesStepTheKnobAndAControlClickCentresIt(shown);

  const Picture before = shown.shown();
  // Another client paints parts of the window black and tells it, as the server does when a window
  // that covered them goes.
  Display* x = display.connection();
  GC gc = XCreateGC(x, editor, 0, nullptr);
  for (const XRectangle& r : {XRectangle{0, 0, 100, 60}, {200, 100, 128, 80}, {40, 230, 60, 34}}) {
    XFillRectangle(x, editor, gc, r.x, r.y, r.width, r.height);
    XEvent expose{};
    expose.xexpose = {Expose, 0, True, x, editor, r.x, r.y, r.width, r.height, 0};
    XSendEvent(x, editor, False, ExposureMask, &expose);
  }
  XFreeGC(x, gc);
  const Window otherHost = display.makeWindow(500, 100, kWidth, kHeight);
  auto other = openEditor(5, otherHost);
  effect->dispatch(effEditIdle);
  EXPECT_EQ(display.grab(editor, kWidth, kHeight), before);
  other->dispatch(effEditClose);
  effect->dispatch(effEditClose);
  EXPECT_TRUE(display.children(host).empty());
}

// Keys come to the editor's window while the pointer is over it. The host's window asks for presses,
// the window between it and the editor does not: what the editor does not use reaches the host's
// window as if the editor had never asked for keys.
TEST_F(X11Editor, ArrowKeysStepTheClickedKnobAndTheKeysItLeavesReachTheHostsWindow) {
  Display* x = display.connection();
  const Window outer = display.makeWindow(kHostX - 10, kHostY - 20, kWidth + 10, kHeight + 20);
  const Window inner = XCreateSimpleWindow(x, outer, 10, 20, kWidth, kHeight, 0, 0, 0);
  XMapWindow(x, inner);
  XSelectInput(x, outer, KeyPressMask);
  XSync(x, False);
  auto effect = openEditor(3, inner);
  (*effect)->setParameter(effect->get(), kInterval, 0.2f);
  auto pressesAtTheHost = [&] {
    XSync(x, False);
    std::vector<XKeyEvent> presses;
    for (XEvent event; XPending(x) > 0;) {
      XNextEvent(x, &event);
      EXPECT_NE(event.type, KeyRelease) << "a release the host did not ask for";
      if (event.type == KeyPress) presses.push_back(event.xkey);
    }
    return presses;
  };

  EditorOnDisplay editor = on(*effect, inner);
  // A Control-click puts the knob in the middle and gives it the focus.
  ASSERT_TRUE(
      editor.input("mousemove " + editor.onScreen(kIntervalCentre) + " keydown ctrl click 1 keyup ctrl"));
  ASSERT_EQ((*effect)->getParameter(effect->get(), kInterval), 0.5f);
  pressesAtTheHost();  // the Control of the click was the host's
  // Each arrow one step, inside an edit gesture of its own.
  auto step = [&](const std::string& keys) {
    recorder.calls.clear();
    EXPECT_TRUE(editor.input("key " + keys));
    EXPECT_EQ(gestures::gestureOpcodes(recorder),
              (std::vector<VstInt32>{audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit}));
    const std::vector<float> values = gestures::automated(recorder);
    return values.size() == 1 ? values.front() : -1.0f;
  };
  EXPECT_NEAR(step("Up"), 0.6f, 1e-6f);
  EXPECT_NEAR(step("shift+Up"), 0.61f, 1e-6f);

  ASSERT_TRUE(editor.input("key ctrl+s"));
  const std::vector<XKeyEvent> presses = pressesAtTheHost();
  std::vector<KeySym> keysyms;
  for (XKeyEvent press : presses) keysyms.push_back(XLookupKeysym(&press, 0));
  ASSERT_EQ(keysyms, (std::vector<KeySym>{XK_Shift_L, XK_Control_L, XK_s})) << "the arrows were the editor's";
  const XKeyEvent& s = presses.back();
  EXPECT_EQ(s.window, outer);
  EXPECT_EQ(s.subwindow, inner);
  EXPECT_EQ(s.x, kIntervalCentre.x + 10);
  EXPECT_EQ(s.y, kIntervalCentre.y + 20);
  // A window on the way that forbids keys to go further up stops them, as the server would.
  XSetWindowAttributes stop{};
  stop.do_not_propagate_mask = KeyPressMask | KeyReleaseMask;
  XChangeWindowAttributes(x, inner, CWDontPropagate, &stop);
  XSync(x, False);
  ASSERT_TRUE(editor.input("key s"));
  EXPECT_TRUE(pressesAtTheHost().empty());
  effect->dispatch(effEditClose);
}

TEST_F(X11Editor, OpenCloseCyclesAndClosesWithTheEditorOpenLeaveNothingOnTheServer) {
  const int segmentsBefore = sharedSegmentsOfThisProcess();  // of a process before this one with our id
  // An editor that stays open keeps the plug-in's connection, so what each cycle leaves shows.
  const Window other = display.makeWindow(500, 100, kWidth, kHeight);
  auto keeper = openEditor(5, other);
  const Window keeperWindow = display.children(other).at(0);
  auto effect = openEditor(3, host);
  EXPECT_EQ(display.resourcesOfOwner(keeperWindow)["WINDOW"], 2)
      << "one connection for every editor of the process";
  effect->dispatch(effEditClose);  // the first opening makes what the connection keeps for good
  const std::map<std::string, int> before = display.resourcesOfOwner(keeperWindow);

  for (int cycle = 0; cycle < 200; ++cycle) {
    const Window parent = cycle % 20 == 10 ? display.makeWindow(100, 420, kWidth, kHeight) : host;
    ASSERT_EQ(effect->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)), 1);
    (*effect)->setParameter(effect->get(), kInterval, static_cast<float>(cycle % 10) / 10.0f);
    effect->dispatch(effEditIdle);
    if (parent != host) {
      // The host destroys its window, and the editor's with it, before it closes the editor; half
      // the time the editor hears of it at an idle pass first.
      XDestroyWindow(display.connection(), parent);
      XSync(display.connection(), False);
      if (cycle % 40 == 10) {
        effect->dispatch(effEditIdle);
        EXPECT_EQ(display.resourcesOfOwner(keeperWindow), before) << "the idle pass that hears of it lets go";
      }
    }
    effect->dispatch(effEditClose);
    ASSERT_TRUE(display.children(host).empty()) << "cycle " << cycle;
  }
  EXPECT_EQ(display.resourcesOfOwner(keeperWindow), before);

  // Hosts that close the effect with its editor open.
  for (int cycle = 0; cycle < 50; ++cycle) {
    auto closing = openEditor(cycle % 6, host);
    ASSERT_EQ(display.children(host).size(), 1u);
  }
  EXPECT_TRUE(display.children(host).empty());
  EXPECT_EQ(display.resourcesOfOwner(keeperWindow), before);
  pictures::expectLooksLikeGolden(on(*keeper, other).shown(), "shortest");

  keeper.reset();
  effect.reset();
  EXPECT_TRUE(display.resourcesOfOwner(keeperWindow).empty())
      << "the last editor takes the connection with it";
  EXPECT_EQ(sharedSegmentsOfThisProcess(), segmentsBefore)
      << "the pictures' shared memory went with the editors";
}

// A host may idle two editors from two threads of its own while it automates them from a third:
// the editors share the plug-in's one connection, and both still show what they should.
TEST(Concurrency, TwoEditorsIdledFromTwoThreadsWhileTheHostAutomates) {
  xtest::VirtualDisplay display;
  ASSERT_NE(display.connection(), nullptr) << "Xvfb did not start";
  PluginModule module;
  ASSERT_NE(module.entry(), nullptr) << PluginModule::loadError();
  const Window hosts[2] = {display.makeWindow(kHostX, kHostY, kWidth, kHeight),
                           display.makeWindow(500, kHostY, kWidth, kHeight)};
  Effect effects[2] = {Effect(module), Effect(module)};
  for (int i = 0; i < 2; ++i)
    std::thread([&, i] {
      EXPECT_EQ(effects[i].dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(hosts[i])), 1);
    }).join();

  std::vector<std::thread> idlers;
  for (Effect& effect : effects)
    idlers.emplace_back([&effect] {
      for (int pass = 0; pass < 300; ++pass) effect.dispatch(effEditIdle);
    });
  for (int step = 0; step < 300; ++step)
    for (Effect& effect : effects)
      effect->setParameter(effect.get(), kInterval, static_cast<float>(step % 11) / 10.0f);
  for (std::thread& idler : idlers) idler.join();

  const char* golden[2] = {"medium_track", "shortest"};
  for (int i = 0; i < 2; ++i) {
    effects[i].dispatch(effSetProgram, 0, 3 + 2 * i);  // the programs of those pictures
    effects[i].dispatch(effEditIdle);
    pictures::expectLooksLikeGolden(display.grab(display.children(hosts[i]).at(0), kWidth, kHeight),
                                    golden[i]);
  }
  for (Effect& effect : effects) effect.dispatch(effEditClose);
}

}  // namespace
