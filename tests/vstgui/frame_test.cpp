#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "control_fixture.h"
#include "platform/headless/input.h"
#include "platform/headless/window.h"
#include "platform/module.h"
#include "probe_view.h"
#include "vstgui/cframe.h"

using namespace VSTGUI;
using platform::Message;
using platform::MessageType;
using platform::headless::Window;
using probe::kBlue;
using probe::kGreen;
using probe::pixelOf;
using probe::ProbeView;

using probe::FrameTest;

// One window class for all frames, unregistered with the last; each frame holds the imaging
// library while it lives, and a drop target while its flag says so.
TEST_F(FrameTest, WhatEachFrameHoldsAndGivesBack) {
  makeFrame();
  char expected[64];
  std::snprintf(expected, sizeof expected, "Plugin%p", platform::moduleHandle());
  EXPECT_STREQ(CFrame::getWindowClassName(), expected);
  EXPECT_TRUE(platform::headless::isClassRegistered(expected));
  ASSERT_EQ(host.children().size(), 1u);
  EXPECT_EQ(frameWindow(), host.children()[0]);
  EXPECT_EQ(frameWindow()->title(), "Window");
  EXPECT_EQ(frameWindow()->className(), expected);
  EXPECT_EQ(frameWindow()->screenRect(), (platform::Rect{100, 200, 150, 240}));
  EXPECT_EQ(platform::windowUserData(frame->getWindowHandle()), frame);
  EXPECT_EQ(platform::headless::imagingLibrariesLoaded(), 1);
  EXPECT_TRUE(frame->isDropActive());
  EXPECT_NE(platform::headless::dropTargetOf(frame->getWindowHandle()), nullptr);
  EXPECT_TRUE(frame->setDropActive(true));
  EXPECT_NE(platform::headless::dropTargetOf(frame->getWindowHandle()), nullptr);
  EXPECT_TRUE(frame->setDropActive(false));
  EXPECT_EQ(platform::headless::dropTargetOf(frame->getWindowHandle()), nullptr);
  EXPECT_FALSE(frame->isDropActive());
  CFrame windowless(CRect(0, 0, 10, 10), nullptr);
  EXPECT_FALSE(windowless.setDropActive(true));
  EXPECT_TRUE(windowless.setDropActive(false));

  CFrame* second = new CFrame(CRect(0, 0, 10, 10), host.handle(), nullptr);
  EXPECT_EQ(CFrame::getWindowClassUseCount(), 2);
  EXPECT_EQ(platform::headless::registeredClassCount(), 1);
  EXPECT_EQ(platform::headless::imagingLibrariesLoaded(), 3);
  frame->forget();
  frame = nullptr;
  EXPECT_TRUE(platform::headless::isClassRegistered(expected));
  EXPECT_EQ(platform::headless::imagingLibrariesLoaded(), 2);
  second->forget();
  EXPECT_FALSE(platform::headless::isClassRegistered(expected));
  EXPECT_TRUE(host.children().empty());
}

TEST_F(FrameTest, PaintGoesThroughTheBackBufferAndIdleWaitsForTheFirstPaint) {
  makeFrame();
  frame->setBackgroundColor(kGreen);
  ProbeView* view = add(new ProbeView(CRect(10, 10, 30, 30), kBlue));
  const raster::Image& screen = frameWindow()->pixels();

  // Not shown yet (a host may show its window later), so no paint is waiting.
  platform::Rect unexposed;
  platform::endPaint(frame->getWindowHandle(), platform::beginPaint(frame->getWindowHandle(), unexposed));
  frame->idle();  // dirty, but never painted: nothing happens
  EXPECT_EQ(view->draws, 0);
  EXPECT_EQ(screen.pixel(20, 20), raster::Pixel{});

  paintAll();
  EXPECT_EQ(view->draws, 1);
  EXPECT_EQ(screen.pixel(5, 5), pixelOf(kGreen));
  EXPECT_EQ(screen.pixel(20, 20), pixelOf(kBlue));
  EXPECT_EQ(screen.pixel(49, 39), pixelOf(kGreen));
  EXPECT_FALSE(frameWindow()->damaged());

  // A paint redraws the damaged rectangle into the back buffer and copies it from the same place;
  // idle takes it.
  view->color = kColorRed;
  platform::invalidateWindow(frame->getWindowHandle(), {20, 15, 35, 30});
  frame->idle();
  EXPECT_EQ(screen.pixel(20, 15), pixelOf(kColorRed));
  EXPECT_EQ(screen.pixel(29, 29), pixelOf(kColorRed));
  EXPECT_EQ(screen.pixel(19, 15), pixelOf(kBlue));
  EXPECT_EQ(screen.pixel(20, 14), pixelOf(kBlue));
  EXPECT_EQ(screen.pixel(34, 29), pixelOf(kGreen));
  // Outside it the back buffer was not redrawn: a full copy still shows the old colour there.
  ProbeView* other = add(new ProbeView(CRect(40, 0, 50, 5), kBlue));
  other->setDirty(true);
  frame->idle();
  EXPECT_EQ(screen.pixel(12, 12), pixelOf(kBlue));
  EXPECT_EQ(screen.pixel(25, 20), pixelOf(kColorRed));

  // Idle redraws the dirty view and copies the whole back buffer.
  view->setDirty(true);
  const int before = view->draws;
  frame->idle();
  EXPECT_EQ(view->draws, before + 1);
  EXPECT_EQ(screen.pixel(12, 12), pixelOf(kColorRed));
  frame->idle();  // nothing dirty: nothing drawn
  EXPECT_EQ(view->draws, before + 1);

  // Disabled updates hold the idle pass back.
  view->setDirty(true);
  EXPECT_FALSE(frame->setUpdatesDisabled(true));
  frame->idle();
  EXPECT_EQ(view->draws, before + 1);
  EXPECT_TRUE(frame->setUpdatesDisabled(false));
}

TEST_F(FrameTest, InvalidateMarksTouchingChildrenAndDrawViewDrawsAtOnce) {
  makeFrame();
  ProbeView* a = add(new ProbeView(CRect(10, 10, 20, 20), kBlue));
  ProbeView* b = add(new ProbeView(CRect(30, 10, 40, 20), kBlue));
  a->setDirty(false);
  b->setDirty(false);
  frame->invalidate(CRect(0, 0, 10, 10));  // touches a's corner only
  EXPECT_TRUE(a->isDirty());
  EXPECT_FALSE(b->isDirty());

  frame->drawView(b);
  EXPECT_EQ(b->draws, 1);
  EXPECT_EQ(a->draws, 0);  // only the view asked for
  EXPECT_EQ(frameWindow()->pixels().pixel(35, 15), pixelOf(kBlue));
}

TEST_F(FrameTest, PressesGoToTheTopmostViewAfterTheFocusIsClearedAndTheWheelToTheViewUnderIt) {
  makeFrame();
  ProbeView* view = add(new ProbeView(CRect(10, 10, 30, 30), kBlue));
  ProbeView* focused = add(new ProbeView(CRect(40, 0, 50, 10), kBlue));
  focused->setWantsFocus(true);
  frame->setFocusView(focused);
  paintAll();  // the first paint the new window asks for, which leaves every view clean
  focused->setDirty(false);
  // The buttons are those held at the press, though released before the frame takes it.
  platform::headless::setKeyDown(platform::Key::leftButton, true);
  platform::headless::postMessage(frame->getWindowHandle(), {MessageType::leftButtonDown, {20, 25}, 0});
  platform::headless::setKeyDown(platform::Key::leftButton, false);
  platform::headless::dispatchMessages();
  EXPECT_TRUE(focused->isDirty()) << "a view losing the focus is redrawn";
  ASSERT_EQ(view->presses.size(), 1u);
  EXPECT_EQ(view->presses[0], CPoint(20, 25));
  EXPECT_EQ(view->lastButtons, kButtonLeft);
  EXPECT_EQ(frame->getFocusView(), nullptr);
  EXPECT_EQ(focused->focusLost, 1);
  EXPECT_FALSE(focused->lostWithContext);

  // Wheel notches are whole units, for the view under the cursor even when it takes no presses.
  view->setMouseEnabled(false);
  platform::headless::postMessage(frame->getWindowHandle(), {MessageType::wheel, {120, 220}, 120});
  platform::headless::postMessage(frame->getWindowHandle(), {MessageType::wheel, {120, 220}, -240});
  platform::headless::postMessage(frame->getWindowHandle(),
                                  {MessageType::wheel, {145, 235}, 120});  // beside it
  platform::headless::dispatchMessages();
  EXPECT_EQ(view->wheels, (std::vector<float>{1.0f, -2.0f}));
  EXPECT_EQ(view->wheelPoint, CPoint(20, 20));
}

TEST_F(FrameTest, ModalViewTakesPressesInsideItAndDropsTheRest) {
  makeFrame();
  ProbeView* view = add(new ProbeView(CRect(0, 0, 50, 40), kBlue));
  view->setWantsFocus(true);  // would take the focus without the modal view
  auto* modal = new ProbeView(CRect(10, 10, 20, 20), kGreen);
  EXPECT_TRUE(frame->setModalView(modal));
  EXPECT_TRUE(frame->isChild(modal));
  auto* other = new ProbeView(CRect(0, 0, 5, 5), kGreen);
  EXPECT_FALSE(frame->setModalView(other));
  other->forget();

  press(40, 30);
  EXPECT_TRUE(view->presses.empty());
  EXPECT_TRUE(modal->presses.empty());
  press(20, 20);
  EXPECT_EQ(modal->presses.size(), 1u);
  EXPECT_TRUE(view->presses.empty());
  EXPECT_EQ(frame->getCurrentView(), modal);
  EXPECT_FALSE(frame->advanceNextFocusView(nullptr));
  VstKeyCode key = tab();
  EXPECT_EQ(frame->onKeyDown(key), kKeyNotHandled);
  EXPECT_EQ(frame->getFocusView(), nullptr);

  // The wheel goes to the modal view even over another view.
  platform::headless::postMessage(frame->getWindowHandle(), {MessageType::wheel, {140, 235}, 120});
  platform::headless::dispatchMessages();
  EXPECT_EQ(modal->wheels.size(), 1u);
  EXPECT_TRUE(view->wheels.empty());

  EXPECT_TRUE(frame->setModalView(nullptr));
  EXPECT_FALSE(frame->isChild(modal));
  EXPECT_EQ(modal->getNbReference(), 1);  // removed, not destroyed
  modal->forget();
  EXPECT_TRUE(frame->advanceNextFocusView(nullptr));
  EXPECT_EQ(frame->getFocusView(), view);
}

TEST_F(FrameTest, KeysAskFocusThenModalThenWalkTheFocusWithTab) {
  makeFrame();
  ProbeView* a = add(new ProbeView(CRect(0, 0, 1, 1), kBlue));
  add(new ProbeView(CRect(0, 0, 1, 1), kBlue));
  ProbeView* c = add(new ProbeView(CRect(0, 0, 1, 1), kBlue));
  a->setWantsFocus(true);
  c->setWantsFocus(true);

  VstKeyCode key = tab();
  EXPECT_EQ(frame->onKeyDown(key), 1);
  EXPECT_EQ(frame->getFocusView(), a);
  EXPECT_EQ(frame->onKeyDown(key), 1);
  EXPECT_EQ(frame->getFocusView(), c);
  EXPECT_EQ(frame->onKeyDown(key), kKeyNotHandled);  // nothing further wants it
  EXPECT_EQ(frame->getFocusView(), nullptr);

  key = tab(true);
  EXPECT_EQ(frame->onKeyDown(key), 1);
  EXPECT_EQ(frame->getFocusView(), c);
  EXPECT_EQ(frame->onKeyDown(key), 1);
  EXPECT_EQ(frame->getFocusView(), a);
  EXPECT_EQ(frame->onKeyDown(key), kKeyNotHandled);
  EXPECT_EQ(frame->getFocusView(), nullptr);

  // The focus view answers first; an answer ends the search.
  frame->setFocusView(c);
  c->keyAnswer = 5;
  VstKeyCode letter{'x', 0, 0};
  EXPECT_EQ(frame->onKeyDown(letter), 5);
  EXPECT_EQ(frame->onKeyUp(letter), 5);
  c->keyAnswer = kKeyNotHandled;
  EXPECT_EQ(frame->onKeyDown(letter), kKeyNotHandled);

  // With a modal view, key-up gives its answer whatever it is.
  auto* modal = new ProbeView(CRect(0, 0, 1, 1), kBlue);
  modal->keyAnswer = 0;
  frame->setModalView(modal);
  EXPECT_EQ(frame->onKeyUp(letter), 0);
  EXPECT_EQ(frame->onKeyDown(letter), 0);
  // A key of the frame's window is used only when the frame answers 1; the rest are the host's.
  Message windowKey{MessageType::keyDown, {}, 0};
  windowKey.character = 'x';
  EXPECT_EQ(platform::headless::sendMessage(frame->getWindowHandle(), windowKey), 0);
  modal->keyAnswer = 1;
  EXPECT_EQ(platform::headless::sendMessage(frame->getWindowHandle(), windowKey), 1);
  frame->setModalView(nullptr);
  modal->forget();
}

TEST_F(FrameTest, TheOuterWindowIsTheLastParentWithin60PixelsAndPositionAndSizeAreReportedInIt) {
  struct Case {
    int width, height;
    bool outer;  // whether the parent of that size is still taken for ours
  } cases[] = {{160, 160, true}, {161, 100, false}, {100, 161, false}};
  for (const Case& c : cases) {
    Window top({0, 0, 500, 500}, nullptr, "TopLevel", true);
    Window middle({10, 10, 10 + c.width, 10 + c.height}, &top);
    Window inner({20, 20, 120, 120}, &middle);
    frame = new CFrame(CRect(0, 0, 100, 100), inner.handle(), nullptr);
    EXPECT_EQ(frame->getOuterWindow(), c.outer ? middle.handle() : inner.handle())
        << c.width << " x " << c.height;
    frame->forget();
    frame = nullptr;
  }

  Window top({40, 50, 440, 450}, nullptr, "TopLevel", true);
  top.setClientInset({4, 24});
  Window inner({54, 94, 154, 194}, &top);  // about as large as the frame: not the outer window
  frame = new CFrame(CRect(0, 0, 100, 100), inner.handle(), nullptr);
  EXPECT_EQ(frame->getOuterWindow(), inner.handle());  // its parent is far larger
  std::int32_t x = 0, y = 0;
  EXPECT_TRUE(frame->getPosition(x, y));
  EXPECT_EQ(CPoint(x, y), CPoint(10, 20));
  // The size is the host window's rectangle in the client coordinates of its grandparent: here
  // the top-level window has no parent, so the screen's.
  CRect rect;
  EXPECT_TRUE(frame->getSize(rect));
  EXPECT_EQ(rect, CRect(54, 94, 154, 194));
  EXPECT_FALSE(frame->setPosition(0, 0));
  frame->forget();
  frame = nullptr;
}

TEST_F(FrameTest, DestroyedFromOutsideTheFrameStopsWorking) {
  auto owner = std::make_unique<Window>(platform::Rect{0, 0, 200, 200});
  frame = new CFrame(CRect(0, 0, 50, 40), owner->handle(), nullptr);
  ProbeView* view = add(new ProbeView(CRect(10, 10, 30, 30), kBlue));
  owner.reset();  // the host closes its window
  EXPECT_FALSE(frame->getOpenFlag());
  EXPECT_EQ(frame->getSystemWindow(), nullptr);
  view->setDirty(true);
  frame->idle();
  EXPECT_EQ(view->draws, 0);
  EXPECT_FALSE(frame->setSize(60, 60));
  std::int32_t x, y;
  EXPECT_FALSE(frame->getPosition(x, y));
}

// Over a display server the frame hears that the host destroyed its window only when it next
// takes its window's events; until then it works on a window that is gone, harmlessly.
TEST_F(FrameTest, ADestroyNoticeThatComesLateFindsTheFrameWhole) {
  platform::headless::setDestroyNoticesQueued(true);
  auto owner = std::make_unique<Window>(platform::Rect{0, 0, 200, 200});
  frame = new CFrame(CRect(0, 0, 50, 40), owner->handle(), nullptr);
  ProbeView* view = add(new ProbeView(CRect(10, 10, 30, 30), kBlue));
  platform::headless::dispatchMessages();  // the first paint
  owner.reset();
  EXPECT_TRUE(frame->getOpenFlag()) << "not told yet";
  frame->setCursor(kCursorWait);
  frame->drawView(view);
  EXPECT_TRUE(frame->setSize(60, 50));
  EXPECT_TRUE(frame->setDropActive(true));
  view->setDirty(true);
  const int draws = view->draws;
  frame->idle();  // takes the notice first
  EXPECT_FALSE(frame->getOpenFlag());
  EXPECT_EQ(frame->getWindowHandle(), nullptr);
  EXPECT_EQ(view->draws, draws);

  // A frame closed before its notice arrives: the notice never reaches it.
  owner = std::make_unique<Window>(platform::Rect{0, 0, 200, 200});
  CFrame* closing = new CFrame(CRect(0, 0, 50, 40), owner->handle(), nullptr);
  owner.reset();
  closing->forget();
  EXPECT_EQ(platform::headless::dispatchMessages(), 0);
}

TEST_F(FrameTest, CursorShapesAndTheDefaultComingBackAtDestruction) {
  makeFrame();
  const platform::WindowHandle window = frame->getWindowHandle();
  const platform::CursorHandle arrow = platform::currentCursor(window);
  frame->setCursor(kCursorWait);
  EXPECT_EQ(platform::currentCursor(window), platform::systemCursor(platform::CursorShape::wait));
  EXPECT_EQ(platform::currentCursor(host.handle()), arrow) << "the cursor is our window's, not the host's";
  frame->setCursor(kCursorHand);
  EXPECT_EQ(platform::currentCursor(window), platform::systemCursor(platform::CursorShape::hand));
  frame->setCursor(kCursorCopy);  // no shape of its own
  EXPECT_EQ(platform::currentCursor(window), arrow);
  frame->setCursor(kCursorNWSESize);
  frame->forget();
  frame = nullptr;
  EXPECT_EQ(platform::headless::lastCursorSet(), arrow);
}

// --- resizing ---

TEST_F(FrameTest, HostThatResizesLeavesOurWindowsToUs) {
  RecordingHost recorder;
  recorder.answer = 1;
  auto* effect = new fixture::FixtureEffect;
  auto* editor = new fixture::FixtureEditor(effect, 50, 40);
  makeFrame(50, 40, editor);
  frame->setDirty(false);
  EXPECT_FALSE(frame->setSize(50, 40));
  EXPECT_TRUE(recorder.calls.empty());

  EXPECT_TRUE(frame->setSize(60, 70));
  EXPECT_EQ(frame->getViewSize(), CRect(0, 0, 60, 70));
  EXPECT_EQ(frameWindow()->screenRect(), (platform::Rect{100, 200, 160, 270}));
  EXPECT_EQ(host.screenRect(), (platform::Rect{100, 200, 300, 400}));
  EXPECT_FALSE(frame->isDirty());
  EXPECT_EQ(recorder.callsWith(audioMasterSizeWindow),
            (std::vector<HostCall>{{effect->getAeffect(), audioMasterSizeWindow, 60, 70, nullptr, 0}}));
  EXPECT_EQ(recorder.callsWith(audioMasterCanDo).size(), 1u);

  frame->forget();
  frame = nullptr;
  delete effect;  // and its editor
}

TEST_F(FrameTest, FallbackResizeLeavesAFarLargerParentToTheHostAndStopsOnceTheBorderIsAccumulated) {
  makeFrame();  // host is 200 x 200, the frame 50 x 40
  frame->setDirty(false);
  EXPECT_TRUE(frame->setSize(60, 50));
  EXPECT_EQ(frameWindow()->screenRect().width(), 60);
  EXPECT_EQ(host.resizeCount(), 0);
  EXPECT_EQ(frame->getViewSize(), CRect(0, 0, 60, 50));
  EXPECT_FALSE(frame->isDirty());  // the container size was not reset
  frame->forget();

  // Our window 50 x 40 in a host window with a 3-pixel border all round, in a captioned window.
  Window top({0, 0, 500, 500}, nullptr, "TopLevel", true);
  Window bordered({100, 200, 156, 246}, &top);
  Window innerHost({103, 203, 153, 243}, &bordered);
  frame = new CFrame(CRect(0, 0, 50, 40), innerHost.handle(), nullptr);
  // frame window == innerHost size: the first step adds nothing, the second adds B = 6.
  frame->setDirty(false);
  EXPECT_TRUE(frame->setSize(70, 60));
  EXPECT_EQ(frameWindow()->screenRect().width(), 70);
  EXPECT_EQ(innerHost.screenRect().width(), 70);
  EXPECT_EQ(innerHost.screenRect().height(), 60);
  EXPECT_EQ(bordered.screenRect(), (platform::Rect{100, 200, 176, 266}));  // reached, then resized
  EXPECT_EQ(top.resizeCount(), 0);
  EXPECT_EQ(frame->getViewSize(), CRect(0, 0, 70, 60));
  EXPECT_TRUE(frame->isDirty());
  frame->forget();
  frame = nullptr;
}

TEST_F(FrameTest, FallbackResizeStopsBelowAnMdiClientAndWithoutABorder) {
  Window client({0, 0, 800, 600}, nullptr, "MDIClient");
  Window child({10, 10, 62, 52}, &client);  // 2 pixels larger than our window
  frame = new CFrame(CRect(0, 0, 50, 40), child.handle(), nullptr);
  EXPECT_TRUE(frame->setSize(80, 60));
  EXPECT_EQ(child.screenRect(), (platform::Rect{10, 10, 92, 72}));
  EXPECT_EQ(client.resizeCount(), 0);

  platform::headless::setFixedFrameBorder(0);  // the loop never starts: only our window grows
  EXPECT_TRUE(frame->setSize(90, 70));
  EXPECT_EQ(frameWindow()->screenRect().width(), 90);
  EXPECT_EQ(child.screenRect().width(), 82);
  EXPECT_TRUE(frame->setSize(90, 75));  // the height alone is a new size
  EXPECT_EQ(frameWindow()->screenRect().height(), 75);
  frame->forget();
  frame = nullptr;
}
