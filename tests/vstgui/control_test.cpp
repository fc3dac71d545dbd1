#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "control_fixture.h"
#include "vstgui/cbitmap.h"
#include "vstgui/cknob.h"
#include "vstgui/cparamdisplay.h"
#include "vstgui/csplashscreen.h"
#include "vstgui/cviewcontainer.h"

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

TEST(ControlTest, ANewControlHoldsItsBackgroundOnceAndIsDirty) {
  CBitmap* picture = new CBitmap(140);
  auto* control = new PlainControl(CRect(0, 0, 10, 10), nullptr, 3, picture);
  EXPECT_EQ(picture->getNbReference(), 2);
  EXPECT_EQ(control->getBackground(), picture);
  EXPECT_EQ(control->getTag(), 3);
  EXPECT_EQ(control->getDefaultValue(), 0.5f);
  EXPECT_EQ(control->getWheelIncrement(), 0.1f);
  EXPECT_TRUE(control->getMouseEnabled());
  EXPECT_FALSE(control->getTransparency());
  EXPECT_TRUE(control->isDirty());  // value 0 against old value -1
  EXPECT_EQ(control->getValue(), 0.0f);
  EXPECT_EQ(control->getOldValue(), -1.0f);
  control->forget();
  EXPECT_EQ(picture->getNbReference(), 1);
  picture->forget();
}

TEST(ControlDirtyTest, ComparesTheValueWithTheValueLastDrawn) {
  PlainControl control(CRect(0, 0, 10, 10));
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
  auto clamped = [&](float value) {
    control.setValue(value);
    control.clampValue();
    return control.getValue();
  };
  EXPECT_EQ(clamped(1.5f), 1.0f);
  EXPECT_EQ(clamped(-0.2f), 0.0f);
  EXPECT_EQ(clamped(0.3f), 0.3f);
  control.setMin(2.0f);  // inverted range: a value between maximum and minimum breaks the tie
  EXPECT_EQ(clamped(1.5f), 1.0f);
  EXPECT_EQ(clamped(0.5f), 2.0f);
  EXPECT_TRUE(std::isnan(clamped(std::numeric_limits<float>::quiet_NaN())));
  control.setValue(7.0f);  // setValue itself stores anything
  EXPECT_EQ(control.getValue(), 7.0f);
}

// Each class answers for its own name and every name of its bases, exactly; and the container
// message is known by its address, not its text.
TEST(TypeTest, EveryClassAnswersExactlyForItsOwnNameAndItsBases) {
  CBitmap* none = nullptr;
  auto* splash = new CSplashScreen(CRect(0, 0, 10, 10), nullptr, 0, none, CRect(0, 0, 20, 20), CPoint());
  auto* container = new CViewContainer(CRect(0, 0, 1, 1));
  auto* view = new CView(CRect(0, 0, 1, 1));
  // Each with the names it answers, space-separated; the splash view last, as it points at its control.
  const std::pair<CView*, std::string> classes[] = {
      {view, "CView"},
      {container, "CView CViewContainer"},
      {new CFrame(CRect(0, 0, 1, 1), nullptr), "CView CViewContainer CFrame"},
      {new PlainControl(CRect(0, 0, 10, 10)), "CView CControl"},
      {new CKnob(CRect(0, 0, 10, 10), nullptr, 0, none, CPoint()), "CView CControl CKnob"},
      {new CAnimKnob(CRect(0, 0, 10, 10), nullptr, 0, 60, 10, none, CPoint()),
       "CView CControl CKnob CAnimKnob"},
      {new CParamDisplay(CRect(0, 0, 10, 10), none, 0), "CView CControl CParamDisplay"},
      {splash, "CView CControl CSplashScreen"},
      {new CSplashScreenView(CRect(0, 0, 20, 20), splash), "CView"}};
  const char* names[] = {
      "CView",     "CViewContainer", "CFrame",        "CControl",          "CKnob",
      "CAnimKnob", "CParamDisplay",  "CSplashScreen", "CSplashScreenView", "CScrollContainer",
      "cview",     "CVie",           "ccontrol"};
  for (const auto& [object, answers] : classes)
    for (const std::string name : names)
      EXPECT_EQ(object->isTypeOf(name.c_str()),
                (" " + answers + " ").find(" " + name + " ") != std::string::npos)
          << answers << " asked for " << name;
  EXPECT_FALSE(view->isTypeOf(nullptr));

  // The container message is known by its address, not its text.
  EXPECT_EQ(container->notify(nullptr, kMsgCheckIfViewContainer), 1);
  const std::string copy = kMsgCheckIfViewContainer;
  EXPECT_EQ(container->notify(nullptr, copy.c_str()), 0);
  EXPECT_EQ(view->notify(nullptr, kMsgCheckIfViewContainer), 0);
  std::for_each(std::rbegin(classes), std::rend(classes), [](const auto& c) { c.first->forget(); });
}

using ControlEditTest = ControlFixture;

TEST_F(ControlEditTest, DefaultClickAndIdleStuffReachTheEditorAndHostThroughTheFrame) {
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

  // A clean control already at the default still brackets the edit, but tells nobody.
  auto* clean = add(new PlainControl(CRect(0, 0, 10, 10), &listener, 7));
  clean->setValue(0.5f);
  clean->draw(nullptr);
  EXPECT_TRUE(clean->checkDefaultClick(nullptr, kButtonLeft | kModifierControl));
  EXPECT_EQ(listener.values.size(), 1u);
  EXPECT_EQ(edits(), (std::vector<std::pair<char, int>>{{'b', 4}, {'e', 4}, {'b', 7}, {'e', 7}}));

  // Idle processing reaches the editor, due at once, which lets the host idle; a control in no frame
  // idles and brackets nothing.
  clean->doIdleStuff();
  EXPECT_EQ(host.callsWith(audioMasterIdle).size(), 1u);
  PlainControl loose(CRect(0, 0, 10, 10));
  loose.doIdleStuff();
  loose.beginEdit();
  loose.endEdit();
  EXPECT_EQ(host.callsWith(audioMasterIdle).size(), 1u);
  EXPECT_EQ(edits().size(), 4u);
}
