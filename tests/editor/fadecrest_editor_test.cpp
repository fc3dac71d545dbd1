// The plug-in's editor as a host and a user meet it: opened through the record in a host window,
// compared with the golden pictures, turned with a scripted mouse, stepped with the wheel and the
// arrow keys, the about picture clicked open and shut, keys of its own window, and host-side
// parameter changes shown at the next idle pass.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "editor/fadecrestvsteditor.h"
#include "effect/fadecrestvst.h"
#include "platform/headless/input.h"
#include "platform/headless/window.h"
#include "support/editor_gestures.h"
#include "vstgui/cframe.h"
#include "vstgui/cknob.h"
#include "vstgui/cparamdisplay.h"
#include "vstgui/csplashscreen.h"

extern "C" AEffect* VSTPluginMain(audioMasterCallback audioMaster);

using namespace VSTGUI;
using platform::Key;
using platform::Message;
using platform::MessageType;
using platform::NamedKey;
using platform::Point;
using platform::headless::InputScript;
using platform::headless::Window;

namespace {

// Where the host puts its window on the screen; the editor's window fills its client area.
constexpr int kHostLeft = 100, kHostTop = 100;
Point onScreen(int x, int y) { return {kHostLeft + x, kHostTop + y}; }

// Points of the interval knob (43, 128, 143, 228) in the editor's coordinates.
constexpr Point kIntervalTop{93, 128}, kTitle{160, 50};

class EditorHost : public testing::Test {
 protected:
  friend class HeadlessEditor;
  void SetUp() override {
    platform::headless::resetInput();
    platform::headless::resetWindowSystem();
    platform::headless::setClock(1000);
    record = VSTPluginMain(RecordingHost::callback);
    ASSERT_NE(record, nullptr);
    dispatch(effSetEditKnobMode, 0, 0);  // circular, whatever an earlier test chose
    ASSERT_EQ(dispatch(effEditOpen, 0, 0, hostWindow.handle()), 1);
    ASSERT_EQ(hostWindow.children().size(), 1u);
    paint();
    host.calls.clear();
  }
  void TearDown() override {
    if (record) {
      dispatch(effEditClose);
      dispatch(effClose);
    }
  }

  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) {
    return record->dispatcher(record, opcode, index, value, ptr, opt);
  }
  Window* editorWindow() { return hostWindow.children().front(); }
  // The host's window system asks for a paint of the whole editor.
  void paint() {
    platform::invalidateWindow(editorWindow()->handle(), {0, 0, 328, 264});
    platform::headless::dispatchMessages();
  }
  // A click: the button is down while its press is delivered, as the user holds it.
  void press(MessageType type, Point at) {
    Key button = type == MessageType::rightButtonDown ? Key::rightButton : Key::leftButton;
    platform::headless::setCursorPosition(onScreen(at.x, at.y));
    platform::headless::setKeyDown(button, true);
    platform::headless::sendMessage(editorWindow()->handle(), {type, at, 0});
    platform::headless::setKeyDown(button, false);
  }
  bool arrowKey(unsigned char virtualKey) { return dispatch(effEditKeyDown, 0, virtualKey) == 1; }
  float interval() const { return record->getParameter(record, kIntervalParameter); }
  std::vector<VstInt32> opcodes() const {
    std::vector<VstInt32> seen;
    for (const HostCall& call : host.calls)
      if (call.opcode != audioMasterIdle) seen.push_back(call.opcode);
    return seen;
  }
  // What the editor's window shows.
  pictures::Picture picture() {
    const raster::Image& pixels = editorWindow()->pixels();
    pictures::Picture picture{328, 264, {}};
    for (int y = 0; y < 264; ++y)
      for (int x = 0; x < 328; ++x) {
        const raster::Pixel p = pixels.pixel(x, y);
        picture.rgb.insert(picture.rgb.end(), {p.red, p.green, p.blue});
      }
    return picture;
  }
  // A left click, which a control follows until the button is up.
  void click(Point at) {
    InputScript script;
    script.press(Key::leftButton, onScreen(at.x, at.y)).release(Key::leftButton).hold(2);
    script.play();
    press(MessageType::leftButtonDown, at);
  }

  RecordingHost host;
  Window hostWindow{{kHostLeft, kHostTop, kHostLeft + 328, kHostTop + 264}};
  AEffect* record = nullptr;
};

// The gestures a person makes on real window systems, here as scripted input: xdotool's words
// become a script of the pointer and the keys, and each press or wheel turn a message to the
// editor's window, sent at once or, for a host that serves the editor only afterwards, posted.
class HeadlessEditor : public gestures::OpenEditor {
 public:
  explicit HeadlessEditor(EditorHost& test) : test_(test) {}
  AEffect* effect() const override { return test_.record; }
  RecordingHost& host() override { return test_.host; }
  std::string onScreen(gestures::EditorPoint p) const override {
    return std::to_string(kHostLeft + p.x) + " " + std::to_string(kHostTop + p.y);
  }
  bool input(const std::string& arguments, bool servedMeanwhile = true) override {
    std::istringstream words(arguments);
    InputScript().play();  // what is left of the last gesture's script goes
    for (std::string word, argument; words >> word;) {
      Point& at = pointer_;
      if (word == "mousemove" && words >> at.x >> at.y) platform::headless::setCursorPosition(at);
      if (word == "mousemove" || !(words >> argument)) continue;
      if (word == "keydown" || word == "keyup") {
        const Key key = argument == "ctrl" ? Key::control : argument == "shift" ? Key::shift : Key::alt;
        platform::headless::setKeyDown(key, word == "keydown");
      } else if (word == "click" && argument != "1") {
        deliver({MessageType::wheel, at, argument == "4" ? 120 : -120}, servedMeanwhile);
      } else if (word == "click" || word == "mousedown") {
        InputScript script;
        script.press(Key::leftButton, at);
        // A drag: the moves up to the release, which the knob follows as it polls the pointer.
        for (Point to; word == "mousedown" && words >> argument && argument != "mouseup";)
          if (argument == "mousemove" && words >> to.x >> to.y) script.moveTo(to, 4);
        if (argument == "mouseup") words >> argument;
        script.release(Key::leftButton).hold(2);
        script.play();
        deliver({MessageType::leftButtonDown, {at.x - kHostLeft, at.y - kHostTop}, 0}, servedMeanwhile);
      }
    }
    test_.dispatch(effEditIdle);
    return true;
  }
  pictures::Picture shown() override { return test_.picture(); }

 private:
  void deliver(const Message& message, bool now) {
    if (now)
      platform::headless::sendMessage(test_.editorWindow()->handle(), message);
    else
      platform::headless::postMessage(test_.editorWindow()->handle(), message);
  }

  EditorHost& test_;
  Point pointer_;
};

// As made, at the shortest program and at "Medium track", where the gestures start, the editor
// shows the pictures kept in tests/editor/golden; only the value displays' anti-aliased text may
// differ slightly. Set FADECREST_UPDATE_GOLDEN=1 to write them anew after an intended change.
TEST_F(EditorHost, ShowsTheGoldenPicturesAndTakesClicksDragsAndWheelTurns) {
  const bool update = std::getenv("FADECREST_UPDATE_GOLDEN") != nullptr;
  const auto expectGolden = [&](const std::string& name) {
    if (update)
      ASSERT_TRUE(pictures::writePng(picture(), std::string(FADECREST_GOLDEN_DIR) + "/" + name + ".png"));
    pictures::expectLooksLikeGolden(picture(), name);
  };
  dispatch(effEditIdle);
  expectGolden("constructed");
  for (const auto& [name, program] : {std::pair{"shortest", 5}, {"medium_track", 3}}) {
    dispatch(effSetProgram, 0, program);
    dispatch(effEditIdle);
    expectGolden(name);
  }
  for (int click = 0; update && click < 2; ++click) {  // the about picture opened, then closed
    press(MessageType::leftButtonDown, kTitle);
    dispatch(effEditIdle);
    if (click == 0) expectGolden("about");
  }
  HeadlessEditor editor(*this);
  gestures::expectTheTitleShowsTheAboutPictureUntilTheNextClick(editor);
  gestures::expectAKnobDragAutomatesRisingValuesInOneGesture(editor);
  gestures::expectWheelNotchesStepTheKnobAndAControlClickCentresIt(editor);
}

// The golden pictures themselves must show what the effect holds: orange text in the displays, and
// the settings differ where their knobs and displays are.
TEST(GoldenPictures, DifferWhereTheValuesDiffer) {
  const pictures::Picture constructed = pictures::goldenPicture("constructed"),
                          shortest = pictures::goldenPicture("shortest"),
                          about = pictures::goldenPicture("about");
  const auto region = [](const pictures::Picture& picture, pictures::Box r) {
    return picture.crop(r.left, r.top, r.right - r.left, r.bottom - r.top);
  };
  EXPECT_NE(region(constructed, {43, 128, 143, 228}), region(shortest, {43, 128, 143, 228}));
  EXPECT_NE(region(constructed, pictures::kValueDisplays[0]), region(shortest, pictures::kValueDisplays[0]));
  EXPECT_NE(region(constructed, {0, 120, 328, 250}), region(about, {0, 120, 328, 250}));
  for (const pictures::Box& display : pictures::kValueDisplays) {
    const pictures::Box text = pictures::textBox(constructed, display);
    EXPECT_LT(text.left, text.right) << "orange text in the display at x " << display.left;
  }
}

TEST_F(EditorHost, AKnobReportedToTheHostIsRedrawnEvenAtTheValueItShows) {
  dispatch(effEditIdle);
  auto* editor = static_cast<FadecrestVSTEditor*>(static_cast<AudioEffect*>(record->object)->getEditor());
  auto* knob = static_cast<CControl*>(editor->getFrame()->getView(1));
  ASSERT_FALSE(knob->isDirty());
  editor->valueChanged(nullptr, knob);
  EXPECT_TRUE(knob->isDirty());
  EXPECT_EQ(gestures::automated(host), std::vector<float>{1.0f});
}

// Keys reach the knob a click has given the focus: the host's, and where the host hands the editor
// none, those of its window while the pointer is over it. What the knob does not use is answered so.
TEST_F(EditorHost, KeysStepTheFocusedKnobAndWhatIsNotUsedIsAnsweredSo) {
  auto key = [&](MessageType type, NamedKey named, char32_t character = 0) {
    Message message{type, {}, 0};
    message.key = named;
    message.character = character;
    return message;
  };
  auto send = [&](const Message& message) {
    return platform::headless::sendMessage(editorWindow()->handle(), message);
  };
  record->setParameter(record, kDurationParameter, 0.3f);
  dispatch(effEditIdle);
  click(kIntervalTop);
  EXPECT_NEAR(interval(), 0.5f, 1e-6f);
  EXPECT_TRUE(arrowKey(12));  // up
  EXPECT_NEAR(interval(), 0.6f, 1e-6f);
  EXPECT_TRUE(arrowKey(14));  // down
  EXPECT_TRUE(arrowKey(14));
  EXPECT_NEAR(interval(), 0.4f, 1e-6f);
  EXPECT_FALSE(arrowKey(20));  // not an arrow: not handled
  host.calls.clear();

  EXPECT_NE(send(key(MessageType::keyDown, NamedKey::up)), 0);
  EXPECT_NEAR(interval(), 0.5f, 1e-6f);
  EXPECT_EQ(opcodes(),
            (std::vector<VstInt32>{audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit}));
  EXPECT_EQ(send(key(MessageType::keyUp, NamedKey::up)), 0) << "the knob does nothing with releases";
  // Taken at idle, with the Shift held when it was pressed: a fine step.
  platform::headless::setKeyDown(Key::shift, true);
  platform::headless::postMessage(editorWindow()->handle(), key(MessageType::keyDown, NamedKey::down));
  platform::headless::setKeyDown(Key::shift, false);
  dispatch(effEditIdle);
  EXPECT_NEAR(interval(), 0.49f, 1e-6f);

  platform::headless::setKeyDown(Key::control, true);
  EXPECT_EQ(send(key(MessageType::keyDown, NamedKey::none, 's')), 0) << "the host's shortcut is the host's";
  platform::headless::setKeyDown(Key::control, false);
  // Shift+Tab takes the focus back to the duration knob, which the next key steps.
  platform::headless::setKeyDown(Key::shift, true);
  EXPECT_NE(send(key(MessageType::keyDown, NamedKey::tab)), 0);
  platform::headless::setKeyDown(Key::shift, false);
  EXPECT_NE(send(key(MessageType::keyDown, NamedKey::right)), 0);
  EXPECT_NEAR(record->getParameter(record, kDurationParameter), 0.4f, 1e-6f);
  EXPECT_NEAR(interval(), 0.49f, 1e-6f);
}

// A right click on the title does nothing; where the editor reads its own window's events when the
// host idles it, a left click is handled at the next idle pass, not before.
TEST_F(EditorHost, ARightClickOnTheTitleDoesNothingAndAPostedClickWaitsForTheNextIdlePass) {
  const pictures::Picture before = picture();
  press(MessageType::rightButtonDown, kTitle);
  dispatch(effEditIdle);
  EXPECT_TRUE(picture() == before);
  platform::headless::postMessage(editorWindow()->handle(), {MessageType::leftButtonDown, kTitle, 0});
  EXPECT_TRUE(picture() == before);
  dispatch(effEditIdle);
  EXPECT_TRUE(picture() != before) << "the title click opened the about picture";
}

// A host-side change is shown at the next idle pass and not told back; at the maximum, once shown,
// a wheel turn changes nothing and tells the host nothing.
TEST_F(EditorHost, AHostSideChangeIsShownAtTheNextIdlePassAndAtTheMaximumAWheelTurnTellsNothing) {
  const pictures::Picture before = picture();
  record->setParameter(record, kIntervalParameter, 0.0f);
  EXPECT_TRUE(picture() == before) << "setting a value only stores it";
  dispatch(effEditIdle);
  EXPECT_TRUE(picture().crop(43, 128, 100, 100) != before.crop(43, 128, 100, 100)) << "the knob";
  EXPECT_TRUE(picture().crop(46, 235, 30, 14) != before.crop(46, 235, 30, 14)) << "the display";
  record->setParameter(record, kIntervalParameter, 1.0f);
  dispatch(effEditIdle);
  platform::headless::sendMessage(editorWindow()->handle(),
                                  {MessageType::wheel, onScreen(93, 178), 120});  // centre
  EXPECT_EQ(interval(), 1.0f);
  EXPECT_TRUE(host.callsWith(audioMasterAutomate).empty());
}

TEST_F(EditorHost, ClosingAndOpeningAgainShowsTheSameEditorWithCurrentValues) {
  const pictures::Picture first = picture();
  dispatch(effEditClose);
  EXPECT_TRUE(hostWindow.children().empty());
  record->setParameter(record, kIntervalParameter, 0.5f);  // while closed
  record->setParameter(record, kIntervalParameter, 1.0f);
  ASSERT_EQ(dispatch(effEditOpen, 0, 0, hostWindow.handle()), 1);
  ASSERT_EQ(dispatch(effEditOpen, 0, 0, hostWindow.handle()), 1);
  EXPECT_EQ(hostWindow.children().size(), 1u) << "opened twice, shown once";
  paint();
  EXPECT_TRUE(picture() == first);
}

TEST_F(EditorHost, RecordAnnouncesTheEditorAndClosingTheEffectTakesItsWindowAlong) {
  EXPECT_EQ(record->flags, 0x1011);
  ERect* rect = nullptr;
  EXPECT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right - rect->left, 328);
  EXPECT_EQ(rect->bottom - rect->top, 264);
  dispatch(effClose);
  record = nullptr;
  EXPECT_TRUE(hostWindow.children().empty());
}

// The editor object itself, for what the host cannot see: its controls and their values.
class EditorViews : public testing::Test {
 protected:
  void SetUp() override {
    platform::headless::resetInput();
    platform::headless::resetWindowSystem();
    editor = static_cast<FadecrestVSTEditor*>(effect.getEditor());
    ASSERT_NE(editor, nullptr);
  }
  CFrame* frame() const { return editor->getFrame(); }
  template <typename View>
  View* child(int index) const {
    return static_cast<View*>(frame()->getView(index));
  }

  FadecrestVST effect{nullptr};
  FadecrestVSTEditor* editor = nullptr;
  Window hostWindow{{0, 0, 328, 264}};
};

TEST_F(EditorViews, FiveControlsInTheirPlaces) {
  ASSERT_TRUE(editor->open(hostWindow.handle()));
  struct {
    const char* type;
    CRect size;
    std::int32_t tag;
  } expected[] = {{"CAnimKnob", CRect(184, 128, 284, 228), 1},
                  {"CAnimKnob", CRect(43, 128, 143, 228), 0},
                  {"CSplashScreen", CRect(42, 22, 312, 80), 140},
                  {"CParamDisplay", CRect(187, 235, 217, 249), 0},
                  {"CParamDisplay", CRect(46, 235, 76, 249), 0}};
  ASSERT_EQ(frame()->getNbViews(), 5);
  for (int i = 0; i < 5; ++i) {
    CControl* control = child<CControl>(i);
    EXPECT_TRUE(control->isTypeOf(expected[i].type)) << i;
    EXPECT_EQ(control->getViewSize(), expected[i].size) << i;
    EXPECT_EQ(control->getTag(), expected[i].tag) << i;
  }
  CParamDisplay* display = child<CParamDisplay>(4);
  EXPECT_EQ(display->getFontColor(), (CColor{242, 115, 0, 255}));
  EXPECT_EQ(display->getBackColor(), kColorBlack);
  EXPECT_EQ(display->getStyle(), 1);
}

TEST_F(EditorViews, DisplaysShowSecondsAndKnobsTheEffectsValues) {
  ASSERT_TRUE(editor->open(hostWindow.handle()));
  EXPECT_EQ(child<CControl>(4)->getValue(), 60.0f);  // interval display
  EXPECT_EQ(child<CControl>(3)->getValue(), 5.0f);   // duration display
  EXPECT_EQ(child<CControl>(1)->getValue(), 1.0f);   // interval knob

  effect.setProgram(3);
  EXPECT_EQ(child<CControl>(4)->getValue(), 60.0f) << "a notification only records the change";
  editor->idle();
  EXPECT_EQ(child<CControl>(4)->getValue(), 30.5f);
  EXPECT_EQ(child<CControl>(3)->getValue(), 3.0f);
  EXPECT_EQ(child<CControl>(0)->getValue(), 0.5f);

  // The argument is not what is shown: the effect's own value is, and only for indices 0 and 1.
  effect.setParameter(kIntervalParameter, 0.25f);
  editor->idle();
  child<CControl>(1)->setValue(0.1f);
  editor->setParameter(2, 0.7f);
  editor->setParameter(-1, 0.7f);
  editor->idle();
  EXPECT_EQ(child<CControl>(1)->getValue(), 0.1f);
  editor->setParameter(kIntervalParameter, 0.9f);
  editor->idle();
  EXPECT_EQ(child<CControl>(1)->getValue(), 0.25f);
  EXPECT_EQ(child<CControl>(4)->getValue(), 15.75f);
  effect.setParameter(kDurationParameter, 0.25f);  // the duration alone
  editor->idle();
  EXPECT_EQ(child<CControl>(0)->getValue(), 0.25f);
  EXPECT_EQ(child<CControl>(3)->getValue(), 2.0f);
}

TEST_F(EditorViews, ChangesWhileClosedTouchNothingAndTheBackgroundStaysTheSame) {
  effect.setParameter(kIntervalParameter, 0.0f);  // before the first open: no frame to reach
  ASSERT_TRUE(editor->open(hostWindow.handle()));
  EXPECT_EQ(child<CControl>(4)->getValue(), 1.0f);
  CBitmap* background = frame()->getBackground();
  editor->close();
  EXPECT_EQ(editor->getFrame(), nullptr);
  effect.setParameter(kDurationParameter, 0.0f);
  editor->idle();  // closed: nothing to take the value into
  ASSERT_TRUE(editor->open(hostWindow.handle()));
  EXPECT_EQ(frame()->getBackground(), background);
  EXPECT_EQ(child<CControl>(3)->getValue(), 1.0f);
}

}  // namespace

namespace {

// A real host on this system passes a native window of its own, which this window system cannot
// take a child in: the editor must say it did not open, and never read through the handle.
TEST(EditorInAForeignWindow, DoesNotOpenAndTouchesNothing) {
  platform::headless::resetWindowSystem();
  FadecrestVST effect(nullptr);
  void* nativeWindow = reinterpret_cast<void*>(std::uintptr_t{0x3a00007});
  EXPECT_EQ(effect.dispatcher(effEditOpen, 0, 0, nativeWindow, 0), 0);
  auto* editor = static_cast<FadecrestVSTEditor*>(effect.getEditor());
  EXPECT_EQ(editor->getFrame(), nullptr);
  effect.setParameter(kIntervalParameter, 0.5f);  // reaches no control
  effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
  effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
}

}  // namespace

namespace {

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

// Hosts automate and change programs from their audio or automation thread while the
// user-interface thread idles, closes and reopens the editor. Under ThreadSanitizer any touch of a
// control from the automating thread is reported; elsewhere it crashed on destroyed controls.
TEST(Concurrency, AutomationWhileTheEditorOpensIdlesAndCloses) {
  platform::headless::resetWindowSystem();
  AEffect* record = VSTPluginMain(quietHost);
  ASSERT_NE(record, nullptr);
  Window hostWindow{{0, 0, 328, 264}};
  std::atomic<bool> done{false};
  std::thread automation([&] {
    for (int i = 0; !done.load(std::memory_order_relaxed); ++i) {
      record->setParameter(record, i % 3, static_cast<float>(i % 101) / 100.0f);
      if (i % 50 == 0) record->dispatcher(record, effSetProgram, 0, i % 6, nullptr, 0.0f);
    }
  });
  bool opened = true;
  for (int round = 0; round < 30 && opened; ++round) {
    opened = record->dispatcher(record, effEditOpen, 0, 0, hostWindow.handle(), 0.0f) == 1;
    for (int pass = 0; pass < 4; ++pass) record->dispatcher(record, effEditIdle, 0, 0, nullptr, 0.0f);
    record->dispatcher(record, effEditClose, 0, 0, nullptr, 0.0f);
  }
  done = true;
  automation.join();
  EXPECT_TRUE(opened);

  // Once the changes stop, the next pass shows the effect's last values.
  ASSERT_EQ(record->dispatcher(record, effEditOpen, 0, 0, hostWindow.handle(), 0.0f), 1);
  record->setParameter(record, kDurationParameter, 0.75f);
  record->dispatcher(record, effEditIdle, 0, 0, nullptr, 0.0f);
  auto* editor = static_cast<FadecrestVSTEditor*>(static_cast<AudioEffect*>(record->object)->getEditor());
  ASSERT_TRUE(editor->getFrame()->getView(0)->isTypeOf("CAnimKnob"));
  EXPECT_EQ(static_cast<CControl*>(editor->getFrame()->getView(0))->getValue(), 0.75f);
  EXPECT_EQ(static_cast<CControl*>(editor->getFrame()->getView(4))->getValue(),
            static_cast<float>(record->getParameter(record, kIntervalParameter) * 59.0 + 1.0));
  record->dispatcher(record, effEditClose, 0, 0, nullptr, 0.0f);
  record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
}

}  // namespace
