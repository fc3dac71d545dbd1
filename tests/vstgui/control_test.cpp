#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "control_fixture.h"
#include "vstgui/cbitmap.h"
#include "vstgui/cknob.h"
#include "vstgui/cparamdisplay.h"
#include "vstgui/csplashscreen.h"

using namespace VSTGUI;
using fixture::ControlFixture;
using fixture::RecordingListener;

namespace {

// The smallest concrete control: drawing only records that it happened.
class PlainControl : public CControl {
 public:
  using CControl::CControl;
  void draw(CDrawContext*) override {
    ++draws;
    setDirty(false);
  }
  int draws = 0;
};

}  // namespace

TEST(ControlDirtyTest, ComparesTheValueWithTheValueLastDrawn) {
  PlainControl control(CRect(0, 0, 10, 10));
  EXPECT_TRUE(control.isDirty());  // new: value 0 against old value -1
  EXPECT_EQ(control.getValue(), 0.0f);
  EXPECT_EQ(control.getOldValue(), -1.0f);
  control.draw(nullptr);
  EXPECT_FALSE(control.isDirty());

  control.setValue(0.0f);  // what was drawn
  EXPECT_FALSE(control.isDirty());
  control.setValue(0.25f);
  EXPECT_TRUE(control.isDirty());
  control.draw(nullptr);
  EXPECT_EQ(control.getOldValue(), 0.25f);

  // Forcing a redraw must pick an old value that differs, even when the value is -1 itself.
  control.setValue(-1.0f);
  control.setDirty(true);
  EXPECT_EQ(control.getOldValue(), 0.0f);
  EXPECT_TRUE(control.isDirty());
  control.setDirty(false);
  control.setValue(std::numeric_limits<float>::quiet_NaN());
  control.setDirty(false);
  EXPECT_TRUE(control.isDirty());  // NaN never equals what was drawn
}

TEST(ControlValueTest, ClampingTestsTheMaximumFirstAndLeavesNaN) {
  PlainControl control(CRect(0, 0, 10, 10));
  control.setValue(1.5f);
  control.clampValue();
  EXPECT_EQ(control.getValue(), 1.0f);
  control.setValue(-0.2f);
  control.clampValue();
  EXPECT_EQ(control.getValue(), 0.0f);
  control.setValue(0.3f);
  control.clampValue();
  EXPECT_EQ(control.getValue(), 0.3f);

  control.setMin(2.0f);  // inverted range: a value between maximum and minimum breaks the tie
  control.setValue(1.5f);
  control.clampValue();
  EXPECT_EQ(control.getValue(), 1.0f);
  control.setValue(0.5f);
  control.clampValue();
  EXPECT_EQ(control.getValue(), 2.0f);

  control.setValue(std::numeric_limits<float>::quiet_NaN());
  control.clampValue();
  EXPECT_TRUE(std::isnan(control.getValue()));

  // setValue itself stores anything.
  control.setValue(7.0f);
  EXPECT_EQ(control.getValue(), 7.0f);
}

TEST(ControlTypeTest, EveryClassAnswersForItsOwnNameAndItsBases) {
  CBitmap* none = nullptr;
  auto* control = new PlainControl(CRect(0, 0, 10, 10));
  auto* knob = new CKnob(CRect(0, 0, 10, 10), nullptr, 0, none, CPoint());
  auto* anim = new CAnimKnob(CRect(0, 0, 10, 10), nullptr, 0, 60, 10, none, CPoint());
  auto* display = new CParamDisplay(CRect(0, 0, 10, 10), none, 0);
  auto* splash = new CSplashScreen(CRect(0, 0, 10, 10), nullptr, 0, none, CRect(0, 0, 20, 20), CPoint());
  auto* splashView = new CSplashScreenView(CRect(0, 0, 20, 20), splash);

  EXPECT_TRUE(control->isTypeOf("CControl") && control->isTypeOf("CView"));
  EXPECT_FALSE(control->isTypeOf("ccontrol"));
  EXPECT_FALSE(control->isTypeOf("CKnob"));
  EXPECT_TRUE(knob->isTypeOf("CKnob") && knob->isTypeOf("CControl") && knob->isTypeOf("CView"));
  EXPECT_FALSE(knob->isTypeOf("CAnimKnob"));
  EXPECT_TRUE(anim->isTypeOf("CAnimKnob") && anim->isTypeOf("CKnob") && anim->isTypeOf("CControl"));
  EXPECT_TRUE(display->isTypeOf("CParamDisplay") && display->isTypeOf("CControl"));
  EXPECT_FALSE(display->isTypeOf("CKnob"));
  EXPECT_TRUE(splash->isTypeOf("CSplashScreen") && splash->isTypeOf("CControl") && splash->isTypeOf("CView"));
  EXPECT_FALSE(splash->isTypeOf("CKnob"));
  EXPECT_TRUE(splashView->isTypeOf("CView"));
  EXPECT_FALSE(splashView->isTypeOf("CControl"));
  EXPECT_FALSE(splashView->isTypeOf("CSplashScreenView"));

  splashView->forget();
  for (CView* v : std::initializer_list<CView*>{control, knob, anim, display, splash}) v->forget();
}

TEST(ControlTest, ConstructionHoldsOneReferenceOnTheBackground) {
  CBitmap* picture = new CBitmap(140);
  auto* control = new PlainControl(CRect(0, 0, 10, 10), nullptr, 3, picture);
  EXPECT_EQ(picture->getNbReference(), 2);
  EXPECT_EQ(control->getBackground(), picture);
  EXPECT_EQ(control->getTag(), 3);
  EXPECT_EQ(control->getDefaultValue(), 0.5f);
  EXPECT_EQ(control->getWheelIncrement(), 0.1f);
  EXPECT_TRUE(control->getMouseEnabled());
  EXPECT_FALSE(control->getTransparency());
  control->forget();
  EXPECT_EQ(picture->getNbReference(), 1);
  picture->forget();
}

using ControlEditTest = ControlFixture;

TEST_F(ControlEditTest, DefaultClickBracketsTheEditThroughFrameEditorAndHost) {
  auto* control = add(new PlainControl(CRect(0, 0, 10, 10), &listener, 4));
  control->setWantsFocus(true);
  control->setValue(0.9f);
  EXPECT_TRUE(control->checkDefaultClick(nullptr, kButtonLeft | kModifierControl));
  EXPECT_EQ(control->getValue(), 0.5f);
  EXPECT_EQ(listener.values, std::vector<float>{0.5f});
  EXPECT_EQ(edits(), (std::vector<std::pair<char, int>>{{'b', 4}, {'e', 4}}));
  EXPECT_EQ(frame->getFocusView(), control);  // beginEdit takes the focus

  // Anything but exactly Control and the left button is not the gesture.
  for (std::int32_t buttons :
       {kButtonLeft, kButtonLeft | kModifierControl | kModifierShift, kButtonRight | kModifierControl,
        kButtonLeft | kModifierControl | kButtonRight}) {
    control->setValue(0.9f);
    EXPECT_FALSE(control->checkDefaultClick(nullptr, buttons)) << buttons;
    EXPECT_EQ(control->getValue(), 0.9f);
  }
  EXPECT_EQ(listener.values.size(), 1u);
  EXPECT_EQ(edits().size(), 2u);
}

TEST_F(ControlEditTest, DefaultClickOnACleanControlAtTheDefaultStillBracketsButStaysQuiet) {
  auto* control = add(new PlainControl(CRect(0, 0, 10, 10), &listener, 7));
  control->setValue(0.5f);
  control->draw(nullptr);
  EXPECT_TRUE(control->checkDefaultClick(nullptr, kButtonLeft | kModifierControl));
  EXPECT_TRUE(listener.values.empty());
  EXPECT_EQ(edits(), (std::vector<std::pair<char, int>>{{'b', 7}, {'e', 7}}));
}

TEST_F(ControlEditTest, IdleStuffReachesTheEditorOnlyInAFrame) {
  auto* control = add(new PlainControl(CRect(0, 0, 10, 10)));
  control->doIdleStuff();  // due at once: the editor lets the host idle
  EXPECT_EQ(host.callsWith(audioMasterIdle).size(), 1u);
  PlainControl loose(CRect(0, 0, 10, 10));
  loose.doIdleStuff();
  loose.beginEdit();
  loose.endEdit();
  EXPECT_EQ(host.callsWith(audioMasterIdle).size(), 1u);
  EXPECT_TRUE(edits().empty());
}
