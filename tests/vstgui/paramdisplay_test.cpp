#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/headless/surface.h"
#include "probe_view.h"
#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cparamdisplay.h"

using namespace VSTGUI;
using platform::headless::HeadlessSurface;
using probe::pixelOf;

namespace {

constexpr CColor kOrange{255, 128, 0, 255};
constexpr CColor kBlueColor{0, 0, 255, 255};
constexpr CColor kGreenColor{0, 255, 0, 255};

// A surface of a given colour that displays draw into.
class Canvas {
 public:
  Canvas(int width, int height, CColor color = kColorBlack) : surface(width, height) {
    CDrawContext context(nullptr, &surface, nullptr);
    context.setFillColor(color);
    context.fillRect(CRect(-1, -1, width, height));
  }
  void draw(CView* view) {
    CDrawContext context(nullptr, &surface, nullptr);
    view->draw(&context);
  }
  raster::Pixel at(int x, int y) const { return surface.image().pixel(x, y); }
  std::vector<std::uint8_t> bytes() const {
    const raster::Image& image = surface.image();
    std::vector<std::uint8_t> out;
    for (int y = 0; y < image.height(); ++y)
      out.insert(out.end(), image.memoryRow(y), image.memoryRow(y) + image.rowBytes());
    return out;
  }
  int count(CColor color) const {
    int n = 0;
    for (int y = 0; y < surface.image().height(); ++y)
      for (int x = 0; x < surface.image().width(); ++x) n += at(x, y) == pixelOf(color);
    return n;
  }
  HeadlessSurface surface;
};

void copyUserText(float, char* string, void* text) { std::strcpy(string, static_cast<const char*>(text)); }

// Draws a display of the given value on its own canvas.
std::vector<std::uint8_t> shown(float value, const char* fixedText = nullptr) {
  auto* display = new CParamDisplay(CRect(0, 0, 60, 20), nullptr, 0);
  display->setValue(value);
  if (fixedText) display->setValueToString(copyUserText, const_cast<char*>(fixedText));
  Canvas canvas(60, 20);
  canvas.draw(display);
  display->forget();
  return canvas.bytes();
}

}  // namespace

TEST(ParamDisplayTest, DefaultTextIsTwoDecimalsRounded) {
  EXPECT_EQ(shown(30.5f), shown(0, "30.50"));
  EXPECT_EQ(shown(1.0f), shown(0, "1.00"));
  EXPECT_EQ(shown(123.456f), shown(0, "123.46"));
  EXPECT_EQ(shown(-0.004f), shown(0, "-0.00"));
  EXPECT_NE(shown(30.5f), shown(0, "30.5"));  // the comparison does see the text
}

TEST(ParamDisplayTest, TheFunctionWithUserDataWinsOverThePlainOne) {
  static int plainCalls = 0;
  auto* display = new CParamDisplay(CRect(0, 0, 60, 20), nullptr, 0);
  display->setValueToString([](float, char* s) {
    ++plainCalls;
    std::strcpy(s, "plain");
  });
  Canvas plain(60, 20);
  plain.draw(display);
  EXPECT_EQ(plainCalls, 1);
  display->setValueToString(copyUserText, const_cast<char*>("user"));
  Canvas user(60, 20);
  user.draw(display);
  EXPECT_EQ(plainCalls, 1);
  EXPECT_EQ(user.bytes(), shown(0, "user"));
  display->forget();
}

TEST(ParamDisplayTest, EditorStyleFillsOutlinesAndCentresTheText) {
  auto* display = new CParamDisplay(CRect(10, 5, 40, 19), nullptr, 1);
  display->setFontColor(kOrange);
  display->setBackColor(kColorBlack);
  display->setValue(5.0f);  // "5.00" fits inside the outline
  Canvas canvas(50, 25, kBlueColor);
  {
    CDrawContext context(nullptr, &canvas.surface, nullptr);
    display->draw(&context);
    EXPECT_EQ(canvas.surface.state().font.pixelHeight, 12);  // kFontNormal
    EXPECT_EQ(canvas.surface.state().font.weight, 400);
  }
  EXPECT_FALSE(display->isDirty());
  EXPECT_EQ(canvas.at(9, 5), pixelOf(kBlueColor));
  EXPECT_EQ(canvas.at(10, 5), pixelOf(kColorBlack));   // outline
  EXPECT_EQ(canvas.at(39, 18), pixelOf(kColorBlack));  // outline
  EXPECT_EQ(canvas.at(40, 19), pixelOf(kBlueColor));
  EXPECT_EQ(canvas.at(11, 6), pixelOf(kColorBlack));  // fill
  int left = 50, right = -1, top = 25, bottom = -1;
  for (int y = 0; y < 25; ++y)
    for (int x = 0; x < 50; ++x)
      if (const raster::Pixel p = canvas.at(x, y);
          p.red > 150 && p.green > 40 && p.blue < 40) {  // anti-aliased
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  ASSERT_GE(right, left) << "no text drawn";
  EXPECT_GE(left, 11);
  EXPECT_LE(right, 38);
  EXPECT_NEAR((left + right) / 2.0, 25.0, 1.5);
  EXPECT_NEAR((top + bottom) / 2.0, 12.0, 2.0);
  display->forget();
}

TEST(ParamDisplayTest, NoDrawDrawsNothingButLeavesTheDisplayClean) {
  auto* display = new CParamDisplay(CRect(0, 0, 30, 20), nullptr, kStyleNoDraw);
  Canvas canvas(30, 20, kBlueColor);
  ASSERT_TRUE(display->isDirty());
  canvas.draw(display);
  EXPECT_EQ(canvas.count(kBlueColor), 30 * 20);
  EXPECT_FALSE(display->isDirty());
  display->forget();
}

TEST(ParamDisplayTest, ThreeDimensionalEdgesSwapTheirColoursAndDropTheOutline) {
  auto edge = [](std::int32_t style, bool transparent) {
    auto* display = new CParamDisplay(CRect(10, 10, 50, 30), nullptr, style | kStyleNoText);
    display->setBackColor(kBlueColor);
    display->setFrameColor(kGreenColor);
    display->setTransparency(transparent);
    auto canvas = std::make_unique<Canvas>(60, 40, kColorRed);
    canvas->draw(display);
    display->forget();
    return canvas;
  };
  // Edges over the size less one at top, right and bottom: left x 10, top y 11, right x 49,
  // bottom y 29.
  auto in = edge(kStyle3DIn, true);
  EXPECT_EQ(in->at(10, 20), pixelOf(kBlueColor));
  EXPECT_EQ(in->at(30, 11), pixelOf(kBlueColor));
  EXPECT_EQ(in->at(49, 20), pixelOf(kGreenColor));
  EXPECT_EQ(in->at(30, 29), pixelOf(kGreenColor));
  EXPECT_EQ(in->at(30, 20), pixelOf(kColorRed));  // transparent: nothing inside
  auto out = edge(kStyle3DOut, true);
  EXPECT_EQ(out->at(10, 20), pixelOf(kGreenColor));
  EXPECT_EQ(out->at(30, 11), pixelOf(kGreenColor));
  EXPECT_EQ(out->at(49, 20), pixelOf(kBlueColor));
  EXPECT_EQ(out->at(30, 29), pixelOf(kBlueColor));
  auto both = edge(kStyle3DIn | kStyle3DOut, true);
  EXPECT_EQ(both->bytes(), in->bytes());

  // Opaque: filled with the back colour, but no outline where a plain display has one.
  auto filled = edge(kStyle3DIn, false);
  EXPECT_EQ(filled->at(30, 20), pixelOf(kBlueColor));
  EXPECT_EQ(filled->at(30, 10), pixelOf(kColorRed));
  auto plain = edge(0, false);
  EXPECT_EQ(plain->at(30, 10), pixelOf(kGreenColor));
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
  Canvas withShadow(70, 30);
  CParamDisplay* shadowed = make(CRect(0, 0, 60, 20), kColorWhite, kStyleShadowText);
  withShadow.draw(shadowed);

  Canvas byHand(70, 30);
  CParamDisplay* shadow = make(CRect(1, 1, 61, 21), kColorRed, 0);
  CParamDisplay* text = make(CRect(0, 0, 60, 20), kColorWhite, 0);
  byHand.draw(shadow);
  byHand.draw(text);
  EXPECT_EQ(withShadow.bytes(), byHand.bytes());

  Canvas noShadow(70, 30);
  noShadow.draw(text);
  EXPECT_GT(withShadow.count(kColorRed), 0);
  EXPECT_EQ(noShadow.count(kColorRed), 0);
  for (CView* v : std::initializer_list<CView*>{shadowed, shadow, text}) v->forget();
}

TEST(ParamDisplayTest, BackgroundBitmapIsDrawnFromTheBackOffset) {
  CBitmap* picture = new CBitmap(128);
  auto* display = new CParamDisplay(CRect(5, 5, 45, 25), picture, kStyleNoText);
  display->setBackOffset(CPoint(187, 235));
  Canvas canvas(50, 30);
  canvas.draw(display);
  Canvas expected(50, 30);
  {
    CDrawContext context(nullptr, &expected.surface, nullptr);
    picture->draw(&context, CRect(5, 5, 45, 25), CPoint(187, 235));
  }
  EXPECT_EQ(canvas.bytes(), expected.bytes());
  display->alignBackOffset();
  EXPECT_EQ(display->getBackOffset(), CPoint(5, 5));
  display->forget();
  EXPECT_EQ(picture->getNbReference(), 1);
  picture->forget();
}

TEST(ParamDisplayTest, OnlyRealChangesOfTheLookMarkTheDisplayDirty) {
  auto* display = new CParamDisplay(CRect(0, 0, 30, 20), nullptr, 1);
  Canvas canvas(30, 20);
  canvas.draw(display);
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
  canvas.draw(display);
  display->setAlignment(kAlignLeft);
  EXPECT_TRUE(display->isDirty());
  canvas.draw(display);
  display->setStyle(kStyle3DIn);
  EXPECT_TRUE(display->isDirty());
  display->forget();
}
