#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "control_fixture.h"
#include "probe_view.h"
#include "test_pictures.h"
#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cknob.h"

using namespace VSTGUI;
using fixture::ControlFixture;
using platform::Key;
using platform::headless::InputScript;
using testing_pictures::Canvas;

TEST(KnobMappingTest, ValueToPointHitsTheExamplesAndARangeChangeWaitsForTheNextAngleChange) {
  CKnob knob(CRect(0, 0, 100, 100), nullptr, 0, nullptr, CPoint());
  EXPECT_EQ(knob.getInset(), 3);
  const std::tuple<int, float, CPoint> cases[] = {
      {3, 0.0f, {17, 83}}, {3, 0.5f, {50, 3}}, {3, 1.0f, {83, 83}},  {0, 0.0f, {15, 85}},
      {0, 0.25f, {4, 31}}, {0, 0.5f, {50, 0}}, {0, 0.75f, {96, 31}}, {0, 1.0f, {85, 85}}};
  for (const auto& [inset, value, point] : cases) {
    knob.setInset(inset);
    knob.setValue(value);
    CPoint p;
    knob.valueToPoint(p);
    EXPECT_EQ(p, point) << "inset " << inset << ", value " << value;
  }
  // A new range waits for the next angle change.
  knob.setMax(2.0f);
  knob.setValue(0.5f);
  CPoint p;
  knob.valueToPoint(p);
  EXPECT_EQ(p, CPoint(50, 0));  // still mapped for 0 to 1
  knob.setStartAngle(knob.getStartAngle());
  knob.valueToPoint(p);
  EXPECT_EQ(p, CPoint(4, 31));  // a quarter of 0 to 2
}

TEST(KnobMappingTest, ValueFromPointHitsTheExamplesAndSplitsTheGapAtItsMiddle) {
  CKnob knob(CRect(0, 0, 100, 100), nullptr, 0, nullptr, CPoint());
  // Single-precision results: the exact floats the single-precision steps give.
  const std::pair<CPoint, float> cases[] = {
      {{50, 0}, 0.5f},          {{0, 50}, 0.166666642f},  {{100, 50}, 0.833333313f}, {{0, 0}, 0.333333313f},
      {{100, 0}, 0.666666627f}, {{50, 50}, 0.833333313f}, {{50, 100}, 0.0f},         {{40, 100}, 0.0f},
      {{60, 100}, 1.0f},        {{51, 100}, 1.0f},        {{49, 100}, 0.0f},
  };
  for (auto [point, value] : cases)
    EXPECT_EQ(knob.valueFromPoint(point), value) << point.x << ", " << point.y;
}

TEST(KnobMappingTest, HandleBitmapSetsTheInsetIsHeldOnceAndValuesThatAreNotNumbersAreSafe) {
  CBitmap* handle = new CBitmap(129);  // 100 wide
  auto* knob = new CKnob(CRect(0, 0, 100, 100), nullptr, 0, nullptr, CPoint());
  knob->setHandleBitmap(handle);
  EXPECT_EQ(knob->getInset(), 52);
  EXPECT_EQ(handle->getNbReference(), 2);
  knob->setHandleBitmap(nullptr);
  EXPECT_EQ(handle->getNbReference(), 1);
  EXPECT_EQ(knob->getInset(), 52);  // only a new bitmap changes it
  // Held only by the knob, then set again: still alive (a sanitizer build catches a freed one).
  knob->setHandleBitmap(handle);
  handle->forget();
  knob->setHandleBitmap(handle);
  EXPECT_EQ(handle->getNbReference(), 1);
  knob->setBackground(handle);
  knob->setBackground(handle);
  EXPECT_EQ(handle->getNbReference(), 2);

  // A value that is not a number points at the centre, not billions of pixels away.
  for (float value : {std::nanf(""), std::numeric_limits<float>::infinity()}) {
    knob->setValue(value);
    CPoint p;
    knob->valueToPoint(p);
    EXPECT_EQ(p, CPoint(50, 50));
  }
  handle->remember();
  knob->forget();
  EXPECT_EQ(handle->getNbReference(), 1);
  handle->forget();
}

// A 100 pixel knob at (100, 50) in the frame: centre (150, 100), top centre (150, 50).
class KnobTrackingTest : public ControlFixture {
 protected:
  void SetUp() override {
    ControlFixture::SetUp();
    knob = add(new CKnob(CRect(100, 50, 200, 150), &listener, 1, nullptr, CPoint()));
  }
  // Plays a scripted drag that starts with a press at the knob-local point.
  void drag(const InputScript& script, int x, int y) {
    script.play();
    deliver(platform::MessageType::leftButtonDown, 100 + x, 50 + y);
  }
  static platform::Point at(int x, int y) { return screen(100 + x, 50 + y); }

  CKnob* knob = nullptr;
};

TEST_F(KnobTrackingTest, CircularClickSetsTheAngleAtOnceInsideOneEditBracket) {
  click(150, 50);
  EXPECT_EQ(knob->getValue(), 0.5f);
  EXPECT_EQ(listener.values, std::vector<float>{0.5f});
  EXPECT_EQ(listener.tags, std::vector<std::int32_t>{1});
  EXPECT_EQ(listener.withContext, std::vector<bool>{true});
  EXPECT_EQ(edits(), (std::vector<std::pair<char, int>>{{'b', 1}, {'e', 1}}));
  EXPECT_EQ(frame->getFocusView(), knob);
  EXPECT_EQ(platform::headless::scriptStepsLeft(), 0);  // returned only after the release
}

TEST_F(KnobTrackingTest, CrossingTheGapPinsTheValueUntilThePointerComesBackNearIt) {
  drag(InputScript()
           .press(Key::leftButton, at(85, 80))  // lower right, near the maximum
           .moveTo(at(50, 100), 5)              // into the gap, past its middle
           .moveTo(at(15, 80), 5)               // lower left, near the minimum
           .moveTo(at(0, 50), 5)                // up the left side
           .moveTo(at(15, 15), 4)
           .moveTo(at(50, 0), 4)  // the top: half the range away from the maximum
           .release(Key::leftButton),
       85, 80);
  // The idle passes inside the drag draw the knob, so a value that stays pinned is reported once.
  ASSERT_GE(listener.values.size(), 3u);
  EXPECT_NEAR(listener.values.front(), 0.984f, 0.005f);
  for (std::size_t i = 1; i + 1 < listener.values.size(); ++i) EXPECT_EQ(listener.values[i], 1.0f) << i;
  EXPECT_EQ(listener.values.back(), 0.5f);
  EXPECT_EQ(knob->getValue(), 0.5f);
  EXPECT_EQ(edits().size(), 2u);  // one bracket for the whole drag
}

TEST_F(KnobTrackingTest, TheDragIdlesOnEveryPassAndReportsOnlyMovesOfTheHandle) {
  // Down the radius from the top: the angle, and with it the handle point, stays the same.
  drag(InputScript().press(Key::leftButton, at(50, 0)).moveTo(at(50, 25), 5).release(Key::leftButton), 50, 0);
  EXPECT_EQ(editor->idleStuffCalls, 7) << "one per poll: the press, five moves and the release";
  EXPECT_EQ(listener.values, std::vector<float>{0.5f});
}

TEST_F(KnobTrackingTest, LinearModeCoversTheRangeIn200PixelsAnd300WithShift) {
  AEffGUIEditor::knobMode = kLinearMode;
  drag(InputScript()
           .press(Key::leftButton, at(50, 90))
           .moveTo(at(50, -10), 4)    // 100 up
           .moveTo(at(50, -110), 4)   // 200 up
           .moveTo(at(50, -160), 2)   // beyond: stays at the maximum
           .moveTo(at(-50, -160), 2)  // 100 left: the whole way counts, 150 in all
           .release(Key::leftButton),
       50, 90);
  ASSERT_EQ(listener.values.size(), 13u);
  EXPECT_EQ(listener.values[0], 0.0f);  // the press itself moves nothing
  EXPECT_FLOAT_EQ(listener.values[4], 0.5f);
  EXPECT_FLOAT_EQ(listener.values[8], 1.0f);
  EXPECT_EQ(listener.values[10], 1.0f);
  EXPECT_FLOAT_EQ(listener.values[12], 0.75f);
  for (float v : listener.values) EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << v;

  listener.values.clear();
  knob->setValue(0.0f);
  platform::headless::setKeyDown(Key::shift, true);
  drag(InputScript()
           .press(Key::leftButton, at(50, 90))
           .moveTo(at(50, -60), 3)   // 150 up: half
           .moveTo(at(50, -210), 3)  // 300 up: all
           .release(Key::leftButton),
       50, 90);
  ASSERT_EQ(listener.values.size(), 7u);
  EXPECT_FLOAT_EQ(listener.values[3], 0.5f);
  EXPECT_FLOAT_EQ(listener.values[6], 1.0f);
}

TEST_F(KnobTrackingTest, ShiftPressedOrReleasedMidDragDoesNotMakeTheValueJump) {
  AEffGUIEditor::knobMode = kLinearMode;
  drag(InputScript()
           .press(Key::leftButton, at(50, 90))
           .moveTo(at(50, 40), 2)  // 25 pixels a poll at 1/200
           .press(Key::shift)
           .moveTo(at(50, -35), 3)  // the first step after the change still counts at the old span
           .release(Key::shift)
           .moveTo(at(50, -85), 2)
           .release(Key::leftButton),
       50, 90);
  const float expected[] = {0.0f,   0.125f, 0.25f, 0.375f, 0.125f + 100 / 300.0f, 0.125f + 125 / 300.0f,
                            0.625f, 0.75f};
  ASSERT_EQ(listener.values.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i)
    EXPECT_NEAR(listener.values[i], expected[i], 1e-5) << i;
}

TEST_F(KnobTrackingTest, AltSelectsTheOtherMode) {
  knob->setValue(0.2f);
  platform::headless::setKeyDown(Key::alt, true);
  // Circular by the frame, linear with Alt: the press at the top does not jump to 0.5.
  drag(InputScript().press(Key::leftButton, at(50, 0)).moveTo(at(90, 0), 2).release(Key::leftButton), 50, 0);
  EXPECT_FLOAT_EQ(knob->getValue(), 0.4f);
  EXPECT_FLOAT_EQ(listener.values.front(), 0.2f);

  AEffGUIEditor::knobMode = kLinearMode;
  listener.values.clear();
  drag(InputScript().press(Key::leftButton, at(50, 0)).release(Key::leftButton), 50, 0);
  EXPECT_EQ(knob->getValue(), 0.5f);  // linear by the frame, circular with Alt
}

TEST_F(KnobTrackingTest, ControlClickSetsTheDefaultInsteadOfTracking) {
  knob->setValue(0.9f);
  platform::headless::setKeyDown(Key::control, true);
  click(120, 130);  // would track to near the minimum
  EXPECT_EQ(knob->getValue(), 0.5f);
  EXPECT_EQ(listener.values, std::vector<float>{0.5f});
  EXPECT_EQ(listener.modifierButtons, std::vector<std::int32_t>{kButtonLeft | kModifierControl});
  EXPECT_EQ(edits().size(), 2u);

  // Only a left press is offered to the listener, whatever modifiers come with another button.
  InputScript().press(Key::rightButton, screen(120, 130)).release(Key::rightButton).play();
  deliver(platform::MessageType::rightButtonDown, 120, 130);
  released();
  EXPECT_EQ(listener.modifierButtons.size(), 1u);

  // With Shift as well it is an ordinary drag, after the listener has declined the press.
  platform::headless::setKeyDown(Key::shift, true);
  listener.values.clear();
  click(150, 50);
  EXPECT_EQ(listener.modifierButtons.size(), 2u);
  EXPECT_EQ(knob->getValue(), 0.5f);
  EXPECT_EQ(listener.values, std::vector<float>{0.5f});

  // A listener that takes the modifier press leaves the knob alone.
  listener.modifierAnswer = 1;
  listener.values.clear();
  click(120, 130);
  EXPECT_EQ(knob->getValue(), 0.5f);
  EXPECT_TRUE(listener.values.empty());
  EXPECT_EQ(edits().size(), 4u);
}

TEST_F(KnobTrackingTest, WheelAndArrowKeysStepByTheIncrement) {
  wheel(150, 100, 1);
  EXPECT_FLOAT_EQ(knob->getValue(), 0.1f);
  platform::headless::setKeyDown(Key::shift, true);
  wheel(150, 100, 1);
  EXPECT_FLOAT_EQ(knob->getValue(), 0.11f);
  platform::headless::setKeyDown(Key::shift, false);
  wheel(150, 100, -2);
  EXPECT_FLOAT_EQ(knob->getValue(), 0.0f);
  EXPECT_EQ(listener.values.size(), 3u);
  EXPECT_EQ(edits().size(), 6u);  // a bracket for each step

  // At the maximum, once drawn, a further notch changes nothing and tells nobody.
  knob->setValue(1.0f);
  paintAll();
  EXPECT_FALSE(knob->isDirty());
  wheel(150, 100, 1);
  EXPECT_EQ(knob->getValue(), 1.0f);
  EXPECT_EQ(listener.values.size(), 3u);
  EXPECT_EQ(edits().size(), 6u);

  // Keys reach the knob once a click has made it the focus view.
  click(150, 50);  // 0.5
  auto key = [&](unsigned char virt, unsigned char modifier = 0) {
    VstKeyCode code{0, virt, modifier};
    return frame->onKeyDown(code);
  };
  EXPECT_EQ(key(12), 1);
  EXPECT_FLOAT_EQ(knob->getValue(), 0.6f);
  EXPECT_EQ(key(14), 1);
  EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
  EXPECT_EQ(key(13), 1);
  EXPECT_EQ(key(11), 1);
  EXPECT_EQ(key(12, 1), 1);
  EXPECT_FLOAT_EQ(knob->getValue(), 0.51f);
  EXPECT_EQ(key(20), kKeyNotHandled);
  EXPECT_FLOAT_EQ(knob->getValue(), 0.51f);
  EXPECT_FALSE(listener.withContext.back());  // keys have no context to pass on
  knob->setMouseEnabled(false);
  EXPECT_EQ(key(12), 1);  // keys do not ask
  wheel(150, 100, 1);
  EXPECT_FLOAT_EQ(knob->getValue(), 0.61f);  // the wheel does
}

TEST_F(KnobTrackingTest, HandleIsALineToTheCentreWithAShadowBelowLeft) {
  knob->setValue(0.5f);  // handle point (50, 3)
  paintAll();
  auto drawn = [&](CColor color) {
    return testing_pictures::coverage(window(), [&](raster::Pixel p) { return p == probe::pixelOf(color); });
  };
  // The line runs from (150, 52) towards the centre (150, 99); the shadow one pixel left and one
  // lower, from (149, 53) to (149, 100), each without its last pixel. The inset keeps the top clear.
  EXPECT_EQ(drawn(kColorWhite).box, CRect(150, 52, 150, 98));
  EXPECT_EQ(drawn(kColorWhite).count, 47);
  EXPECT_EQ(drawn(kColorGrey).box, CRect(149, 53, 149, 99));
  EXPECT_EQ(drawn(kColorGrey).count, 47);
}

// --- film strip ---

namespace {

class CountingAnimKnob : public CAnimKnob {
 public:
  using CAnimKnob::CAnimKnob;
  void draw(CDrawContext* context) override {
    ++draws;
    CAnimKnob::draw(context);
  }
  int draws = 0;
};

}  // namespace

TEST(FilmStripTest, ValueChoosesAFrameInsideTheStripAndOnlyExactlyOneShowsTheLast) {
  auto offsetFor = [](std::int32_t count, std::int32_t height, float value) {
    CAnimKnob knob(CRect(0, 0, 100, 100), nullptr, 0, count, height, nullptr, CPoint());
    knob.setValue(value);
    return knob.frameOffset();
  };
  // Sixty frames of 100: a value set by a host from outside the range shows the last frame, never
  // rows below the strip.
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const std::pair<float, std::int32_t> examples[] = {
      {0.0f, 0},    {-0.3f, 0},   {0.0169f, 0}, {0.017f, 100}, {0.5f, 2900}, {0.9999f, 5800},
      {1.0f, 5900}, {1.7f, 5900}, {nan, 0},     {inf, 5900},   {1e30f, 5900}};
  for (auto [value, offset] : examples) EXPECT_EQ(offsetFor(60, 100, value), offset) << value;
  EXPECT_EQ(offsetFor(60, 0, 0.5f), 0);  // a failed strip load: no endless frame search
  EXPECT_EQ(offsetFor(60, -5, 0.5f), 0);
  EXPECT_EQ(offsetFor(0, 100, 0.5f), 0);
  EXPECT_EQ(offsetFor(1, 100, 1.0f), 0);
  EXPECT_EQ(offsetFor(3, 7, 0.99f), 7);

  // The knob draws the strip's frame at that offset.
  CBitmap* strip = new CBitmap(129);
  auto* knob = new CAnimKnob(CRect(0, 0, 100, 100), nullptr, 0, 60, 100, strip, CPoint(0, 0));
  knob->setValue(0.5f);
  Canvas drawn(100, 100), frame29(100, 100);
  knob->draw(&drawn.context);
  strip->draw(&frame29.context, CRect(0, 0, 100, 100), CPoint(0, 2900));
  EXPECT_EQ(drawn.bytes(), frame29.bytes());
  knob->forget();
  strip->forget();
}

using FilmStripDirtyTest = ControlFixture;

TEST_F(FilmStripDirtyTest, OnlyAMoveOfTheHandlePointMakesTheKnobDirty) {
  CBitmap* strip = new CBitmap(129);
  auto* knob = add(new CountingAnimKnob(CRect(43, 128, 143, 228), &listener, 0, 60, 100, strip, CPoint()));
  strip->forget();
  EXPECT_EQ(knob->getInset(), 0);
  knob->setValue(0.5f);
  paintAll();
  EXPECT_EQ(knob->draws, 1);
  EXPECT_EQ(knob->getLastDrawnPoint(), CPoint(50, 0));

  knob->setValue(0.501f);  // less than a pixel along the rim
  EXPECT_FALSE(knob->isDirty());
  frame->idle();
  EXPECT_EQ(knob->draws, 1);

  knob->setValue(0.6f);
  EXPECT_TRUE(knob->isDirty());
  frame->idle();
  EXPECT_EQ(knob->draws, 2);
  EXPECT_FALSE(knob->isDirty());

  knob->setDirty(true);  // forced, whatever the point
  frame->idle();
  EXPECT_EQ(knob->draws, 3);

  // A wheel step too small to move the point is not reported either; a larger one is.
  knob->setValue(0.5f);
  frame->idle();
  knob->setWheelIncrement(0.001f);
  wheel(93, 178, 1);
  EXPECT_FLOAT_EQ(knob->getValue(), 0.501f);
  EXPECT_TRUE(listener.values.empty());
  EXPECT_TRUE(edits().empty());
  knob->setWheelIncrement(0.1f);
  wheel(93, 178, 1);
  EXPECT_EQ(listener.values.size(), 1u);
}
