#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "probe_view.h"
#include "test_pictures.h"
#include "vstgui/cbitmap.h"
#include "vstgui/cparamdisplay.h"

using namespace VSTGUI;
using probe::kBlue;
using probe::kGreen;
using probe::pixelOf;
using testing_pictures::Canvas;

namespace {

constexpr CColor kOrange{255, 128, 0, 255};

int count(const Canvas& canvas, CColor color) {
  return testing_pictures::coverage(canvas.image(), [&](raster::Pixel p) { return p == pixelOf(color); })
      .count;
}

void copyUserText(float, char* string, void* text) { std::strcpy(string, static_cast<const char*>(text)); }

// Draws a display of the given value on its own canvas.
std::vector<std::uint8_t> shown(float value, const char* fixedText = nullptr) {
  auto* display = new CParamDisplay(CRect(0, 0, 60, 20), nullptr, 0);
  display->setValue(value);
  if (fixedText) display->setValueToString(copyUserText, const_cast<char*>(fixedText));
  Canvas canvas(60, 20, kColorBlack);
  display->draw(&canvas.context);
  display->forget();
  return canvas.bytes();
}

}  // namespace

TEST(ParamDisplayTest, DefaultTextIsTwoDecimalsRoundedAndAFunctionWithUserDataWins) {
  EXPECT_EQ(shown(30.5f), shown(0, "30.50"));
  EXPECT_EQ(shown(1.0f), shown(0, "1.00"));
  EXPECT_EQ(shown(123.456f), shown(0, "123.46"));
  EXPECT_EQ(shown(-0.004f), shown(0, "-0.00"));
  EXPECT_NE(shown(30.5f), shown(0, "30.5"));  // the comparison does see the text

  // A function with user data wins over the plain one.
  static int plainCalls = 0;
  auto* display = new CParamDisplay(CRect(0, 0, 60, 20), nullptr, 0);
  display->setValueToString([](float, char* s) {
    ++plainCalls;
    std::strcpy(s, "plain");
  });
  Canvas plain(60, 20, kColorBlack);
  display->draw(&plain.context);
  EXPECT_EQ(plainCalls, 1);
  display->setValueToString(copyUserText, const_cast<char*>("user"));
  Canvas user(60, 20, kColorBlack);
  display->draw(&user.context);
  EXPECT_EQ(plainCalls, 1);
  EXPECT_EQ(user.bytes(), shown(0, "user"));
  display->forget();
}

TEST(ParamDisplayTest, EditorStyleFillsOutlinesAndCentresTheText) {
  auto* display = new CParamDisplay(CRect(10, 5, 40, 19), nullptr, 1);
  display->setFontColor(kOrange);
  display->setBackColor(kColorBlack);
  display->setValue(5.0f);  // "5.00" fits inside the outline
  Canvas canvas(50, 25, kBlue);
  display->draw(&canvas.context);
  EXPECT_EQ(canvas.surface.state().font.pixelHeight, 12);  // kFontNormal
  EXPECT_EQ(canvas.surface.state().font.weight, 400);
  EXPECT_FALSE(display->isDirty());
  EXPECT_EQ(canvas.at(9, 5), pixelOf(kBlue));
  EXPECT_EQ(canvas.at(10, 5), pixelOf(kColorBlack));   // outline
  EXPECT_EQ(canvas.at(39, 18), pixelOf(kColorBlack));  // outline
  EXPECT_EQ(canvas.at(40, 19), pixelOf(kBlue));
  EXPECT_EQ(canvas.at(11, 6), pixelOf(kColorBlack));  // fill
  const CRect text = testing_pictures::coverage(canvas.image(), [](raster::Pixel p) {
                       return p.red > 150 && p.green > 40 && p.blue < 40;  // anti-aliased
                     }).box;
  ASSERT_GE(text.right, text.left) << "no text drawn";
  EXPECT_GE(text.left, 11);
  EXPECT_LE(text.right, 38);
  EXPECT_NEAR((text.left + text.right) / 2.0, 25.0, 1.5);
  EXPECT_NEAR((text.top + text.bottom) / 2.0, 12.0, 2.0);
  display->forget();
}

TEST(ParamDisplayTest, ThreeDimensionalEdgesSwapTheirColoursAndDropTheOutline) {
  auto edge = [](std::int32_t style, bool transparent) {
    auto* display = new CParamDisplay(CRect(10, 10, 50, 30), nullptr, style | kStyleNoText);
    display->setBackColor(kBlue);
    display->setFrameColor(kGreen);
    display->setTransparency(transparent);
    auto canvas = std::make_unique<Canvas>(60, 40, kColorRed);
    display->draw(&canvas->context);
    display->forget();
    return canvas;
  };
  // Edges over the size less one at top, right and bottom: left x 10, top y 11, right x 49,
  // bottom y 29.
  auto in = edge(kStyle3DIn, true);
  EXPECT_EQ(in->at(10, 20), pixelOf(kBlue));
  EXPECT_EQ(in->at(30, 11), pixelOf(kBlue));
  EXPECT_EQ(in->at(49, 20), pixelOf(kGreen));
  EXPECT_EQ(in->at(30, 29), pixelOf(kGreen));
  EXPECT_EQ(in->at(30, 20), pixelOf(kColorRed));  // transparent: nothing inside
  auto out = edge(kStyle3DOut, true);
  EXPECT_EQ(out->at(10, 20), pixelOf(kGreen));
  EXPECT_EQ(out->at(30, 11), pixelOf(kGreen));
  EXPECT_EQ(out->at(49, 20), pixelOf(kBlue));
  EXPECT_EQ(out->at(30, 29), pixelOf(kBlue));
  auto both = edge(kStyle3DIn | kStyle3DOut, true);
  EXPECT_EQ(both->bytes(), in->bytes());

  // Opaque: filled with the back colour, but no outline where a plain display has one.
  auto filled = edge(kStyle3DIn, false);
  EXPECT_EQ(filled->at(30, 20), pixelOf(kBlue));
  EXPECT_EQ(filled->at(30, 10), pixelOf(kColorRed));
  auto plain = edge(0, false);
  EXPECT_EQ(plain->at(30, 10), pixelOf(kGreen));
  auto noFrame = edge(kStyleNoFrame, false);
  EXPECT_EQ(noFrame->at(30, 10), pixelOf(kColorRed));
}

TEST(ParamDisplayTest, ShadowTextLiesOnePixelRightAndDownUnderTheText) {
  auto make = [](const CRect& r, CColor fontColor, std::int32_t style) {
    auto* display = new CParamDisplay(r, nullptr, style);
    display->setTransparency(true);
    display->setFontColor(fontColor);
    display->setShadowColor(kColorRed);
    display->setValue(42.0f);
    return display;
  };
  Canvas withShadow(70, 30, kColorBlack);
  CParamDisplay* shadowed = make(CRect(0, 0, 60, 20), kColorWhite, kStyleShadowText);
  shadowed->draw(&withShadow.context);

  Canvas byHand(70, 30, kColorBlack);
  CParamDisplay* shadow = make(CRect(1, 1, 61, 21), kColorRed, 0);
  CParamDisplay* text = make(CRect(0, 0, 60, 20), kColorWhite, 0);
  shadow->draw(&byHand.context);
  text->draw(&byHand.context);
  EXPECT_EQ(withShadow.bytes(), byHand.bytes());

  Canvas noShadow(70, 30, kColorBlack);
  text->draw(&noShadow.context);
  EXPECT_GT(count(withShadow, kColorRed), 0);
  EXPECT_EQ(count(noShadow, kColorRed), 0);
  for (CView* v : std::initializer_list<CView*>{shadowed, shadow, text}) v->forget();
}

TEST(ParamDisplayTest, BackgroundBitmapIsDrawnFromTheBackOffset) {
  CBitmap* picture = new CBitmap(128);
  auto* display = new CParamDisplay(CRect(5, 5, 45, 25), picture, kStyleNoText);
  display->setBackOffset(CPoint(187, 235));
  Canvas canvas(50, 30, kColorBlack);
  display->draw(&canvas.context);
  Canvas expected(50, 30, kColorBlack);
  picture->draw(&expected.context, CRect(5, 5, 45, 25), CPoint(187, 235));
  EXPECT_EQ(canvas.bytes(), expected.bytes());
  display->alignBackOffset();
  EXPECT_EQ(display->getBackOffset(), CPoint(5, 5));
  display->forget();
  EXPECT_EQ(picture->getNbReference(), 1);
  picture->forget();
}

TEST(ParamDisplayTest, OnlyRealChangesOfTheLookMarkTheDisplayDirtyAndNoDrawCleansIt) {
  auto* display = new CParamDisplay(CRect(0, 0, 30, 20), nullptr, 1);
  Canvas canvas(30, 20, kColorBlack);
  display->draw(&canvas.context);
  display->setFontColor(kColorWhite);
  display->setBackColor(kColorBlack);
  display->setFrameColor(kColorBlack);
  display->setShadowColor(kColorRed);
  display->setFont(kFontNormal);
  display->setAlignment(kAlignCenter);
  display->setStyle(1);
  display->setFontStyle(0);
  display->setTextTransparency(false);
  display->setValue(0.0f);
  EXPECT_FALSE(display->isDirty());

  display->setFontColor(CColor{255, 255, 255, 254});  // the alpha byte counts too
  EXPECT_TRUE(display->isDirty());
  display->draw(&canvas.context);
  display->setAlignment(kAlignLeft);
  EXPECT_TRUE(display->isDirty());
  display->draw(&canvas.context);
  display->setStyle(kStyle3DIn);
  EXPECT_TRUE(display->isDirty());

  // With no drawing at all it draws nothing, but is clean afterwards all the same.
  display->setStyle(kStyleNoDraw);
  Canvas blue(30, 20, kBlue);
  display->draw(&blue.context);
  EXPECT_EQ(count(blue, kBlue), 30 * 20);
  EXPECT_FALSE(display->isDirty());
  display->forget();
}
