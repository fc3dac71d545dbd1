#include <gtest/gtest.h>

#include "control_fixture.h"
#include "probe_view.h"
#include "test_pictures.h"
#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cknob.h"
#include "vstgui/csplashscreen.h"

using namespace VSTGUI;
using fixture::ControlFixture;
using platform::Key;
using platform::MessageType;
using platform::headless::InputScript;

namespace {

// The editor's arrangement: a background, a knob, and the splash control over the title.
class SplashTest : public ControlFixture {
 protected:
  void SetUp() override {
    ControlFixture::SetUp();
    background = new CBitmap(128);
    about = new CBitmap(140);
    frame->setBackground(background);
    knob = add(new CKnob(CRect(43, 128, 143, 228), &knobListener, 0, nullptr, CPoint()));
    splash = add(
        new CSplashScreen(CRect(42, 22, 312, 80), &listener, 140, about, CRect(0, 0, 328, 264), CPoint()));
    paintAll();
  }
  void TearDown() override {
    ControlFixture::TearDown();
    EXPECT_EQ(about->getNbReference(), 1);  // nothing kept the picture
    background->forget();
    about->forget();
  }
  void rightClick(int x, int y) {
    InputScript().press(Key::rightButton, screen(x, y)).release(Key::rightButton).play();
    deliver(MessageType::rightButtonDown, x, y);
    released();
  }
  // What a picture shows at a point, drawn on its own.
  static raster::Pixel shownAt(CBitmap* picture, int x, int y) {
    testing_pictures::Canvas canvas(328, 264);
    picture->draw(&canvas.context, CRect(0, 0, 328, 264));
    return canvas.at(x, y);
  }

  CBitmap* background = nullptr;
  CBitmap* about = nullptr;
  CKnob* knob = nullptr;
  CSplashScreen* splash = nullptr;
  fixture::RecordingListener knobListener;
};

}  // namespace

TEST_F(SplashTest, LeftPressOpensThePictureAndTheNextLeftPressAnywhereClosesIt) {
  ASSERT_NE(shownAt(about, 300, 250), shownAt(background, 300, 250));
  rightClick(100, 50);
  EXPECT_EQ(splash->getValue(), 0.0f);
  EXPECT_EQ(frame->getModalView(), nullptr);

  click(100, 50);
  EXPECT_EQ(splash->getValue(), 1.0f);
  auto* view = dynamic_cast<CSplashScreenView*>(frame->getModalView());
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(frame->getView(frame->getNbViews() - 1), view);  // the last child
  EXPECT_EQ(view->getViewSize(), CRect(0, 0, 328, 264));
  EXPECT_EQ(view->getSplashScreen(), splash);
  EXPECT_EQ(view->getNbReference(), 2);   // its own and the frame's
  EXPECT_EQ(about->getNbReference(), 3);  // ours, the control's and the view's
  EXPECT_EQ(listener.values, std::vector<float>{1.0f});
  EXPECT_EQ(listener.tags, std::vector<std::int32_t>{140});

  // The next idle pass shows the picture over everything.
  editor->idle();
  EXPECT_EQ(window().pixel(300, 250), shownAt(about, 300, 250));

  // Right presses and the wheel leave the picture up and reach nothing below it.
  rightClick(10, 10);
  wheel(93, 178, 1);
  EXPECT_EQ(frame->getModalView(), view);
  EXPECT_EQ(splash->getValue(), 1.0f);
  EXPECT_EQ(knob->getValue(), 0.0f) << "the wheel must not turn the knob under the picture";

  // A left press, even on a knob, closes the picture and turns nothing.
  click(93, 130);
  EXPECT_EQ(knob->getValue(), 0.0f);
  EXPECT_TRUE(knobListener.values.empty());
  EXPECT_EQ(splash->getValue(), 0.0f);
  EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f}));
  EXPECT_EQ(frame->getModalView(), nullptr);
  EXPECT_EQ(splash->getSplashView(), nullptr);  // destroyed
  EXPECT_EQ(about->getNbReference(), 2);
  EXPECT_TRUE(frame->isDirty());
  editor->idle();
  EXPECT_EQ(window().pixel(300, 250), shownAt(background, 300, 250));
  EXPECT_EQ(window().pixel(100, 50), shownAt(background, 100, 50));  // value 0 draws nothing of its own

  click(93, 130);  // the knobs work again
  EXPECT_EQ(knobListener.values.size(), 1u);
}

TEST_F(SplashTest, ModifierPressesAreOfferedToTheListenerFirstAndOtherButtonsPassThrough) {
  // Before the left-button test: a right press with Shift is offered too, and then does nothing.
  CPoint where(100, 50);
  splash->mouse(nullptr, where, kButtonRight | kModifierShift);
  EXPECT_EQ(listener.modifierButtons, std::vector<std::int32_t>{kButtonRight | kModifierShift});
  EXPECT_EQ(splash->getValue(), 0.0f);
  listener.modifierButtons.clear();

  platform::headless::setKeyDown(Key::shift, true);
  listener.modifierAnswer = 1;
  click(100, 50);
  EXPECT_EQ(listener.modifierButtons, std::vector<std::int32_t>{kButtonLeft | kModifierShift});
  EXPECT_EQ(splash->getValue(), 0.0f);
  EXPECT_EQ(frame->getModalView(), nullptr);

  listener.modifierAnswer = 0;  // as the editor answers
  click(100, 50);
  EXPECT_EQ(splash->getValue(), 1.0f);
  EXPECT_NE(frame->getModalView(), nullptr);
  click(100, 50);
  EXPECT_EQ(frame->getModalView(), nullptr);

  // Other buttons pass through to a view below; the left one does not.
  platform::headless::setKeyDown(Key::shift, false);
  frame->removeView(splash, false);
  auto* below = add(new probe::ProbeView(CRect(42, 22, 312, 80), probe::kBlue));
  add(splash);
  rightClick(100, 50);
  EXPECT_EQ(below->presses.size(), 1u);
  EXPECT_EQ(splash->getValue(), 0.0f);
  click(100, 50);
  EXPECT_EQ(below->presses.size(), 1u);
  EXPECT_EQ(splash->getValue(), 1.0f);
  click(100, 50);
}

TEST_F(SplashTest, RefusedViewIsReleasedTheNextPressOnlyTogglesBackAndCloseTellsOnlyWhenShown) {
  auto* other = new probe::ProbeView(CRect(0, 0, 10, 10), probe::kBlue);
  ASSERT_TRUE(frame->setModalView(other));
  CPoint where(100, 50);
  splash->mouse(nullptr, where, kButtonLeft);
  EXPECT_EQ(splash->getValue(), 1.0f);
  EXPECT_EQ(splash->getSplashView(), nullptr);
  EXPECT_EQ(about->getNbReference(), 2);
  EXPECT_TRUE(listener.values.empty());
  EXPECT_TRUE(splash->isDirty());

  splash->mouse(nullptr, where, kButtonLeft);
  EXPECT_EQ(splash->getValue(), 0.0f);
  EXPECT_TRUE(listener.values.empty());
  frame->setModalView(nullptr);
  other->forget();

  // Closing tells the listener only while the picture is up.
  splash->closeSplash(nullptr);
  EXPECT_TRUE(listener.values.empty());
  splash->setValue(1.0f);
  splash->closeSplash(nullptr);
  EXPECT_EQ(splash->getValue(), 0.0f);
  EXPECT_EQ(listener.values, std::vector<float>{0.0f});
}

TEST_F(SplashTest, ClosingTheEditorWhilePictureIsShownLeavesNothingBehind) {
  click(100, 50);
  ASSERT_NE(frame->getModalView(), nullptr);
  EXPECT_EQ(about->getNbReference(), 3);
  editor->close();  // TearDown checks that the view let go of the picture
  frame = nullptr;
  EXPECT_EQ(about->getNbReference(), 1);
  editor->open(hostWindow.handle());  // and the editor can open again
  frame = editor->getFrame();
}

TEST(SplashDrawTest, ControlDrawsThePictureOverTheDisplayRectOnlyWhileShown) {
  CBitmap* about = new CBitmap(140);
  auto* splash =
      new CSplashScreen(CRect(42, 22, 312, 80), nullptr, 140, about, CRect(10, 10, 60, 40), CPoint(100, 100));
  testing_pictures::Canvas canvas(80, 60), expected(80, 60);
  splash->draw(&canvas.context);
  EXPECT_EQ(canvas.bytes(), expected.bytes());
  EXPECT_FALSE(splash->isDirty());

  splash->setValue(1.0f);
  splash->draw(&canvas.context);
  about->draw(&expected.context, CRect(10, 10, 60, 40), CPoint(100, 100));
  EXPECT_EQ(canvas.bytes(), expected.bytes());  // over the display rectangle and nowhere else
  splash->forget();
  about->forget();
}
