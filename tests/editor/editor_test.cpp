#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "../vstgui/control_fixture.h"
#include "../vstgui/probe_view.h"

using namespace VSTGUI;
using fixture::FixtureEditor;
using platform::Key;
using platform::headless::Window;
using probe::kBlue;
using probe::ProbeView;

namespace {

// The fixture's editor, open in its host window: the editor base as the plug-in's own uses it.
class EditorTest : public fixture::ControlFixture {
 protected:
  int hostIdles() const { return static_cast<int>(host.callsWith(audioMasterIdle).size()); }
};

}  // namespace

TEST(EditorBase, InterfaceDefaults) {
  AEffEditor plain(nullptr);
  ERect* rect = reinterpret_cast<ERect*>(&plain);
  EXPECT_FALSE(plain.getRect(&rect));
  EXPECT_EQ(rect, nullptr);
  EXPECT_FALSE(plain.isOpen());
  int window = 0;
  EXPECT_FALSE(plain.open(&window));
  EXPECT_TRUE(plain.isOpen());
  plain.close();
  EXPECT_FALSE(plain.isOpen());
  VstKeyCode key{};
  EXPECT_FALSE(plain.onKeyDown(key));
  EXPECT_FALSE(plain.setKnobMode(1));
}

TEST_F(EditorTest, TheDispatchersEditorRequestsReachTheEditor) {
  editor->close();  // for the host to open it
  EXPECT_TRUE(effect->getAeffect()->flags & effFlagsHasEditor);
  EXPECT_EQ(effect->getEditor(), editor);
  EXPECT_EQ(platform::headless::oleDepth(), 1);

  ERect* rect = nullptr;
  EXPECT_EQ(effect->dispatch(effEditGetRect, 0, 0, &rect), 1);  // also while closed
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right, 328);
  EXPECT_EQ(rect->bottom, 264);
  EXPECT_EQ(effect->dispatch(effEditIdle), 0);  // closed: nothing to idle, no frame for keys or the wheel
  VstKeyCode key{'k', 0, 0};
  EXPECT_FALSE(editor->onKeyDown(key));
  EXPECT_FALSE(editor->onWheel(1.0f));

  EXPECT_EQ(effect->dispatch(effEditOpen, 0, 0, hostWindow.handle()), 1);
  ASSERT_NE(editor->getFrame(), nullptr);
  EXPECT_TRUE(editor->isOpen());
  EXPECT_EQ(hostWindow.children().size(), 1u);
  effect->dispatch(effEditIdle);
  EXPECT_EQ(editor->counting()->idles, 1);

  EXPECT_EQ(effect->dispatch(effSetEditKnobMode, 0, 2), 1);
  EXPECT_EQ(editor->getFrame()->getKnobMode(), 2);
  CFrame other(CRect(0, 0, 1, 1), nullptr);
  EXPECT_EQ(other.getKnobMode(), 2);  // process-wide

  // Tab moves the focus to a view that wants it: the frame answers 1, the host hears 1.
  auto* view = new ProbeView(CRect(0, 0, 10, 10), kBlue);
  view->setWantsFocus(true);
  editor->getFrame()->addView(view);
  EXPECT_EQ(effect->dispatch(effEditKeyDown, 0, 2, nullptr), 1);
  EXPECT_EQ(editor->getFrame()->getFocusView(), view);

  effect->dispatch(effEditClose);
  EXPECT_EQ(editor->getFrame(), nullptr);
  EXPECT_FALSE(editor->isOpen());
  EXPECT_TRUE(hostWindow.children().empty());
  EXPECT_EQ(effect->dispatch(effEditGetRect, 0, 0, &rect), 1);
}

TEST_F(EditorTest, TheWheelGoesToTheViewUnderTheCursorAndKeysAreHandledOnlyWhenTheFrameAnswersOne) {
  auto* under = add(new ProbeView(CRect(10, 10, 30, 30), kBlue));
  auto* focused = add(new ProbeView(CRect(0, 0, 10, 10), kBlue));
  platform::headless::setCursorPosition(screen(20, 20));
  EXPECT_TRUE(editor->onWheel(-1.0f));
  ASSERT_EQ(under->wheels.size(), 1u);
  EXPECT_EQ(under->wheels[0], -1.0f);
  EXPECT_EQ(under->wheelPoint, CPoint(20, 20));

  VstKeyCode key{'k', 0, 0};
  frame->setFocusView(focused);
  focused->keyAnswer = 1;
  EXPECT_TRUE(editor->onKeyDown(key));
  EXPECT_TRUE(editor->onKeyUp(key));
  focused->keyAnswer = 0;
  EXPECT_FALSE(editor->onKeyDown(key));
  focused->keyAnswer = kKeyNotHandled;
  EXPECT_FALSE(editor->onKeyUp(key));
}

TEST_F(EditorTest, EditGesturesReachTheHostThroughTheFrame) {
  host.answer = 1;
  frame->beginEdit(3);
  frame->endEdit(3);
  ASSERT_EQ(host.callsWith(audioMasterBeginEdit).size(), 1u);
  EXPECT_EQ(host.callsWith(audioMasterBeginEdit)[0].index, 3);
  ASSERT_EQ(host.callsWith(audioMasterEndEdit).size(), 1u);
  EXPECT_TRUE(editor->beginEdit(4));
  host.answer = 0;
  EXPECT_FALSE(editor->endEdit(4));
  EXPECT_EQ(frame->getTicks(), 1000u);
}

TEST_F(EditorTest, IdleStuffIsThrottledAndLetsTheHostIdle) {
  editor->doIdleStuff();  // due since construction at 1000
  EXPECT_EQ(editor->nextIdle(), 1100u);
  EXPECT_EQ(hostIdles(), 1);
  EXPECT_EQ(editor->counting()->idles, 1);

  platform::headless::setClock(1020);
  editor->doIdleStuff();  // 1024 is still below 1050: back after the sleep
  EXPECT_EQ(platform::tickCount(), 1024u);
  EXPECT_EQ(hostIdles(), 1);
  EXPECT_EQ(editor->counting()->idles, 1);

  // A waiting paint is dispatched by the pass that runs.
  platform::invalidateWindow(frame->getWindowHandle(), {0, 0, 10, 10});
  platform::headless::setClock(1047);
  editor->doIdleStuff();  // 1051 is not below 1050: the pass runs
  EXPECT_EQ(platform::tickCount(), 1051u);
  EXPECT_EQ(editor->nextIdle(), 1151u);
  EXPECT_EQ(hostIdles(), 2);
  EXPECT_EQ(editor->counting()->idles, 2);
  EXPECT_FALSE(Window::fromHandle(frame->getWindowHandle())->damaged());

  platform::headless::setClock(1200);
  editor->doIdleStuff();  // due: no sleep
  EXPECT_EQ(platform::tickCount(), 1200u);
  EXPECT_EQ(editor->nextIdle(), 1300u);
  EXPECT_EQ(hostIdles(), 3);
}

TEST_F(EditorTest, HostIdleAnsweredWithEditorIdleDoesNotRunTheFrameTwice) {
  auto* view = new ProbeView(CRect(0, 0, 328, 264), kBlue);
  frame->addView(view);
  int nestedRequests = 0;
  host.onCall = [&](const HostCall& call) {
    if (call.opcode != audioMasterIdle) return;
    ++nestedRequests;
    // A press arrives meanwhile; the nested request must not take it.
    platform::headless::postMessage(frame->getWindowHandle(),
                                    {platform::MessageType::leftButtonDown, {5, 5}, 0});
    effect->dispatch(effEditIdle);
  };
  editor->doIdleStuff();
  EXPECT_EQ(nestedRequests, 1);
  EXPECT_EQ(editor->counting()->idles, 1);
  EXPECT_TRUE(view->presses.empty());
  host.onCall = nullptr;
  effect->dispatch(effEditIdle);  // outside the pass the host's idle is not throttled
  effect->dispatch(effEditIdle);
  EXPECT_EQ(editor->counting()->idles, 3);
  EXPECT_EQ(view->presses.size(), 1u);
}

TEST_F(EditorTest, TickCountWrapNeitherHoldsThePassBackNorLetsItRunEarly) {
  platform::headless::setClock(0xFFFFFF8Cu);
  FixtureEditor late(nullptr, 328, 264);  // made shortly before the count wraps; no effect to call
  late.open(hostWindow.handle());
  late.doIdleStuff();
  EXPECT_EQ(late.nextIdle(), 0xFFFFFFF0u);
  platform::headless::setClock(0xFFFFFFA0u);
  late.doIdleStuff();  // early, before the wrap: back after the sleep
  EXPECT_EQ(late.counting()->idles, 1);
  EXPECT_EQ(platform::tickCount(), 0xFFFFFFA4u);
  platform::headless::setClock(0x20);  // the count wrapped past the due time
  late.doIdleStuff();
  EXPECT_EQ(late.counting()->idles, 2);
  EXPECT_EQ(platform::tickCount(), 0x20u);  // ran at once
  EXPECT_EQ(late.nextIdle(), 0x84u);
  late.close();
}

namespace {

// Follows the mouse in a loop of its own while the left button is held, as a knob does.
class TrackingView : public CView {
 public:
  using CView::CView;
  void mouse(CDrawContext* context, CPoint&, std::int32_t) override {
    ++presses;
    deepest = std::max(deepest, ++depth);
    while (context->getMouseButtons() & kButtonLeft) {
      CPoint where;
      getMouseLocation(context, where);
      track.push_back(where);
      const platform::WindowHandle own = getFrame()->getWindowHandle(), host = platform::windowParent(own);
      platform::invalidateWindow(host, {0, 0, 10, 10});  // another window of the thread waits as well
      getFrame()->doIdleStuff();
      platform::Rect damaged;
      const bool ownPainted = !platform::windowUpdateRect(own, damaged);
      paintedWhileTracking = paintedWhileTracking || ownPainted;
      mostPaintsInOnePass =
          std::max(mostPaintsInOnePass, ownPainted + !platform::windowUpdateRect(host, damaged));
      platform::invalidateWindow(own, {0, 0, 10, 10});
    }
    --depth;
  }
  std::vector<CPoint> track;
  int presses = 0;
  int depth = 0;
  int deepest = 0;
  bool paintedWhileTracking = false;
  int mostPaintsInOnePass = 0;
};

}  // namespace

TEST_F(EditorTest, ScriptedDragIsFollowedAndThrottlesTheIdlePass) {
  auto* knob = new TrackingView(CRect(0, 0, 200, 200));
  frame->addView(knob);
  editor->doIdleStuff();  // next pass due at 1100
  platform::headless::InputScript()
      .press(Key::leftButton, {160, 350})  // (60, 150) in the frame
      .moveTo({160, 300}, 5)
      .release(Key::leftButton)
      .play();
  platform::headless::postMessage(frame->getWindowHandle(),
                                  {platform::MessageType::leftButtonDown, {60, 150}, 0});
  platform::headless::dispatchMessages();

  ASSERT_EQ(knob->track.size(), 6u);
  EXPECT_EQ(knob->track[0], CPoint(60, 140));
  EXPECT_EQ(knob->track[4], CPoint(60, 100));
  EXPECT_EQ(knob->track[5], CPoint(60, 100));  // the release step keeps the cursor
  // Six early calls of 4 ms each; none came within 50 ms of the due time.
  EXPECT_EQ(platform::tickCount(), 1024u);
  EXPECT_EQ(hostIdles(), 1);
}

// Where the editor takes its window's events when idled, a press can start a drag from inside
// idle; the drag idles in turn, and must take only a paint: one per pass, of whichever window
// waits first, its own or another of the thread.
TEST_F(EditorTest, ADragStartedByIdleTakesOnlyThePaintAndThePressBehindItWaits) {
  auto* knob = new TrackingView(CRect(0, 0, 200, 200));
  frame->addView(knob);
  const platform::WindowHandle window = frame->getWindowHandle();
  platform::headless::InputScript()
      .press(Key::leftButton, {160, 350})
      .moveTo({160, 300}, 3)
      .release(Key::leftButton)
      .play();
  platform::headless::postMessage(window, {platform::MessageType::leftButtonDown, {60, 150}, 0});
  platform::headless::postMessage(window, {platform::MessageType::leftButtonDown, {10, 10}, 0});
  platform::invalidateWindow(window, {0, 0, 10, 10});

  effect->dispatch(effEditIdle);
  EXPECT_EQ(knob->presses, 2);
  EXPECT_EQ(knob->deepest, 1) << "the second press waited for the drag to end";
  EXPECT_TRUE(knob->paintedWhileTracking);
  EXPECT_EQ(knob->mostPaintsInOnePass, 1);
  EXPECT_EQ(knob->track.size(), 4u);
}
