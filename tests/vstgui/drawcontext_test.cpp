#include <gtest/gtest.h>

#include <algorithm>

#include "platform/headless/input.h"
#include "platform/headless/surface.h"
#include "platform/headless/window.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cframe.h"

using namespace VSTGUI;
using platform::Key;
using platform::headless::HeadlessSurface;

namespace {

// How many pixels a drawing changed on a surface that started all zero, and their bounding box
// (inclusive columns and rows).
struct Coverage {
  int count = 0;
  CRect box{1 << 20, 1 << 20, -1, -1};
};

Coverage coverage(const raster::Image& image) {
  Coverage c;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != raster::Pixel{}) {
        ++c.count;
        c.box.left = std::min(c.box.left, x);
        c.box.top = std::min(c.box.top, y);
        c.box.right = std::max(c.box.right, x);
        c.box.bottom = std::max(c.box.bottom, y);
      }
  return c;
}

const raster::Pixel kRedPixel{0, 0, 255, 255};

class DrawContextTest : public ::testing::Test {
 protected:
  void TearDown() override {
    platform::headless::resetInput();
    recordSwappedMouseButtons();
  }
  HeadlessSurface surface{40, 40};
};

}  // namespace

TEST_F(DrawContextTest, FillCoversInsideOfLeftColumnAndTopRow) {
  CDrawContext context(nullptr, &surface, nullptr);
  context.setFillColor(kColorRed);
  context.fillRect(CRect(0, 0, 10, 10));
  const Coverage c = coverage(surface.image());
  EXPECT_EQ(c.count, 81);
  EXPECT_EQ(c.box, CRect(1, 1, 9, 9));
  EXPECT_EQ(surface.image().pixel(5, 5), kRedPixel);
}

TEST_F(DrawContextTest, FillWithDrawingOffset) {
  CDrawContext context(nullptr, &surface, nullptr);
  context.offset = CPoint(5, 7);
  context.setFillColor(kColorRed);
  context.fillRect(CRect(0, 0, 10, 10));
  const Coverage c = coverage(surface.image());
  EXPECT_EQ(c.count, 81);
  EXPECT_EQ(c.box, CRect(6, 8, 14, 16));
}

TEST_F(DrawContextTest, FrameIsTheOutlineAndTogetherWithFillCoversTheRectangle) {
  {
    CDrawContext context(nullptr, &surface, nullptr);  // default pen: white, one pixel
    context.frameRect(CRect(0, 0, 10, 10));
  }
  Coverage c = coverage(surface.image());
  EXPECT_EQ(c.count, 36);
  EXPECT_EQ(c.box, CRect(0, 0, 9, 9));
  EXPECT_EQ(surface.image().pixel(0, 9), (raster::Pixel{255, 255, 255, 255}));
  EXPECT_EQ(surface.image().pixel(1, 1), raster::Pixel{});

  CDrawContext context(nullptr, &surface, nullptr);
  context.offset = CPoint(3, 2);
  context.setFillColor(kColorRed);
  context.fillRect(CRect(0, 0, 10, 10));
  context.frameRect(CRect(0, 0, 10, 10));
  c = coverage(surface.image());
  EXPECT_EQ(c.box, CRect(0, 0, 12, 11));
  EXPECT_EQ(c.count, 36 + 100 - 14);  // 14 pixels of the first outline lie under the second rectangle
}

TEST_F(DrawContextTest, LinesLeaveOutTheEndPixel) {
  CDrawContext context(nullptr, &surface, nullptr);
  context.offset = CPoint(2, 2);
  context.moveTo(CPoint(0, 0));
  context.lineTo(CPoint(5, 0));
  context.lineTo(CPoint(5, 3));
  const Coverage c = coverage(surface.image());
  EXPECT_EQ(c.count, 8);
  EXPECT_EQ(c.box, CRect(2, 2, 7, 4));
  EXPECT_EQ(surface.image().pixel(7, 5), raster::Pixel{});
}

TEST_F(DrawContextTest, ConstructionSelectsEachDefaultOnce) {
  CDrawContext context(nullptr, &surface, nullptr);
  const auto& n = surface.counters();
  // Frame colour, line style and line width each start different, so each makes a pen.
  EXPECT_EQ(n.pensCreated, 3);
  EXPECT_EQ(n.brushesCreated, 1);
  EXPECT_EQ(n.fontsCreated, 1);
  EXPECT_EQ(n.clipsApplied, 0);
  EXPECT_EQ(n.textColorsSet, 1);
  const auto& s = surface.state();
  EXPECT_EQ(s.penColor, (platform::Color{255, 255, 255}));
  EXPECT_EQ(s.penWidth, 1);
  EXPECT_EQ(s.brushColor, (platform::Color{0, 0, 0}));
  EXPECT_EQ(s.backgroundColor, (platform::Color{0, 0, 0}));
  EXPECT_EQ(s.textColor, (platform::Color{255, 255, 255}));
  EXPECT_EQ(s.backgroundMode, platform::BackgroundMode::transparent);
  EXPECT_EQ(s.font.face, "Arial");
  EXPECT_EQ(s.font.pixelHeight, 12);
  EXPECT_EQ(s.font.weight, 700);
  CRect clip;
  EXPECT_EQ(context.getClipRect(clip), CRect(0, 0, 1000, 1000));
}

TEST_F(DrawContextTest, DestructionGivesBackTheSurfacesObjects) {
  const auto before = surface.state();
  {
    CDrawContext context(nullptr, &surface, nullptr);
    context.setFrameColor(kColorRed);
    context.setFont(kFontBig, kFontStyleItalic);
  }
  EXPECT_EQ(surface.state().penColor, before.penColor);
  EXPECT_EQ(surface.state().brushColor, before.brushColor);
  EXPECT_EQ(surface.state().font, before.font);
}

TEST_F(DrawContextTest, PensAndBrushesOnlyOnChange) {
  CDrawContext context(nullptr, &surface, nullptr);
  const auto& n = surface.counters();
  const int pens = n.pensCreated, brushes = n.brushesCreated;
  context.setFrameColor(kColorWhite);
  context.setLineWidth(1);
  context.setLineStyle(kLineSolid);
  EXPECT_EQ(n.pensCreated, pens);
  context.setFrameColor(kColorTransparent);  // differs from white only in alpha
  EXPECT_EQ(n.pensCreated, pens + 1);
  context.setLineWidth(3);
  EXPECT_EQ(n.pensCreated, pens + 2);
  EXPECT_EQ(surface.state().penWidth, 3);

  context.setFillColor(kColorBlack);
  EXPECT_EQ(n.brushesCreated, brushes);
  context.setFillColor(kColorGrey);
  EXPECT_EQ(n.brushesCreated, brushes + 1);
  EXPECT_EQ(surface.state().backgroundColor, (platform::Color{127, 127, 127}));

  const int colours = n.textColorsSet;
  context.setFontColor(kColorWhite);  // the text colour is set on every call
  context.setFontColor(kColorWhite);
  EXPECT_EQ(n.textColorsSet, colours + 2);
}

TEST_F(DrawContextTest, FailedBrushKeepsThePreviousOne) {
  CDrawContext context(nullptr, &surface, nullptr);
  surface.failBrushCreation(true);
  context.setFillColor(kColorRed);
  EXPECT_EQ(context.getFillColor(), kColorRed);
  surface.failBrushCreation(false);
  context.setFillColor(kColorRed);  // already the stored colour: no second attempt
  EXPECT_EQ(surface.state().brushColor, (platform::Color{0, 0, 0}));
  context.fillRect(CRect(0, 0, 5, 5));
  EXPECT_EQ(coverage(surface.image()).count, 16);  // black on zero: only alpha shows it
}

TEST_F(DrawContextTest, FontTableAndFallbacks) {
  CDrawContext context(nullptr, &surface, nullptr);
  const auto& n = surface.counters();
  const auto& font = surface.state().font;

  context.setFont(kFontNormal, kFontStyleBold | kFontStyleItalic);
  EXPECT_EQ(font, (platform::FontDescription{"Arial", 12, 700, true, false, 0x22}));

  const int fonts = n.fontsCreated;
  context.setFont(static_cast<CFont>(9), 0);  // out of range: the system font, always bold
  EXPECT_EQ(font, (platform::FontDescription{"Arial", 12, 700, false, false, 0x22}));
  EXPECT_EQ(context.getFont(), kFontSystem);
  context.setFont(kFontSystem, 0);
  context.setFont(static_cast<CFont>(-1), 0);
  EXPECT_EQ(n.fontsCreated, fonts + 1);

  context.setFont(kFontSymbol, kFontStyleUnderline);
  EXPECT_EQ(font, (platform::FontDescription{"Symbol", 13, 400, false, true, 0x50}));
  context.setFont(kFontSmall, kFontStyleBold);
  EXPECT_EQ(font.pixelHeight, 11);
  context.setFont(kFontSmall, 0);  // style alone is a change
  EXPECT_EQ(font.weight, 400);
  const int sizes[] = {12, 18, 14, 12, 11, 10, 9, 13};
  for (int id = 0; id < kFontCount; ++id) {
    context.setFont(static_cast<CFont>(id), 0);
    EXPECT_EQ(context.getFontSize(), sizes[id]);
  }
}

TEST_F(DrawContextTest, ClipAppliedOnlyWhenItChanges) {
  CDrawContext context(nullptr, &surface, nullptr);
  const auto& n = surface.counters();
  context.setClipRect(CRect(2, 2, 8, 8));
  context.setClipRect(CRect(2, 2, 8, 8));
  EXPECT_EQ(n.clipsApplied, 1);
  context.offset = CPoint(10, 10);
  context.setClipRect(CRect(2, 2, 8, 8));  // same local rectangle, different surface rectangle
  EXPECT_EQ(n.clipsApplied, 2);
  EXPECT_EQ(surface.clip(), (platform::Rect{12, 12, 18, 18}));
  CRect local;
  EXPECT_EQ(context.getClipRect(local), CRect(2, 2, 8, 8));

  context.setFillColor(kColorRed);
  context.fillRect(CRect(-10, -10, 30, 30));
  const Coverage c = coverage(surface.image());
  EXPECT_EQ(c.box, CRect(12, 12, 17, 17));
  EXPECT_EQ(c.count, 36);
}

TEST_F(DrawContextTest, ClipStartsAtTheFrameSize) {
  CFrame frame(CRect(0, 0, 328, 264), nullptr);
  CDrawContext context(&frame, &surface, nullptr);
  CRect clip;
  EXPECT_EQ(context.getClipRect(clip), CRect(0, 0, 328, 264));
  EXPECT_EQ(surface.counters().clipsApplied, 0);  // recorded, not applied
}

TEST_F(DrawContextTest, MouseLocationIsRelativeToTheWindowOnScreen) {
  platform::headless::Window window({100, 200, 428, 464});
  {
    CDrawContext context(nullptr, nullptr, window.handle());
    EXPECT_EQ(window.surfacesOut(), 1);
    context.offset = CPoint(30, 30);
    platform::headless::setCursorPosition({150, 260});
    CPoint where;
    context.getMouseLocation(where);
    EXPECT_EQ(where, CPoint(50, 60));
  }
  EXPECT_EQ(window.surfacesOut(), 0);
}

TEST_F(DrawContextTest, MouseButtonsReadLiveWithSwappedButtons) {
  using platform::headless::setKeyDown;
  CDrawContext context(nullptr, &surface, nullptr);
  EXPECT_EQ(context.getMouseButtons(), 0);
  setKeyDown(Key::leftButton, true);
  EXPECT_EQ(context.getMouseButtons(), kButtonLeft);
  for (Key k : {Key::middleButton, Key::rightButton, Key::shift, Key::control, Key::alt}) setKeyDown(k, true);
  EXPECT_EQ(context.getMouseButtons(), 63);

  platform::headless::resetInput();
  platform::headless::setButtonsSwapped(true);
  recordSwappedMouseButtons();
  setKeyDown(Key::leftButton, true);
  EXPECT_EQ(context.getMouseButtons(), kButtonRight);
  setKeyDown(Key::shift, true);
  setKeyDown(Key::control, true);
  EXPECT_EQ(context.getMouseButtons(), 28);
  setKeyDown(Key::leftButton, false);
  setKeyDown(Key::rightButton, true);
  EXPECT_EQ(context.getMouseButtons(), kButtonLeft | kModifierShift | kModifierControl);
}

TEST_F(DrawContextTest, ContextWithoutSurfaceKeepsStateAndDrawsNothing) {
  CDrawContext context(nullptr, nullptr, nullptr);
  context.setFillColor(kColorRed);
  context.fillRect(CRect(0, 0, 10, 10));
  context.drawString("text", CRect(0, 0, 10, 10));
  context.setFont(kFontBig, 0);
  EXPECT_EQ(context.getFillColor(), kColorRed);
  EXPECT_EQ(context.getFontSize(), 14);
}

TEST(OffscreenContext, PaintsItsBackgroundAndCopiesBlocks) {
  CFrame frame(CRect(0, 0, 16, 12), nullptr);
  COffscreenContext offscreen(&frame, 16, 12, kColorRed);
  auto* memory = static_cast<HeadlessSurface*>(offscreen.getSurface());
  ASSERT_NE(memory, nullptr);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(memory->image().pixel(x, y), kRedPixel) << x << "," << y;
  CRect clip;
  EXPECT_EQ(offscreen.getClipRect(clip), CRect(0, 0, 16, 12));

  offscreen.setFillColor(kColorWhite);
  offscreen.fillRect(CRect(3, 3, 6, 6));  // white at (4..5, 4..5)

  HeadlessSurface window(30, 30);
  CDrawContext target(nullptr, &window, nullptr);
  target.offset = CPoint(10, 20);
  offscreen.copyToContext(&target, CRect(0, 0, 4, 4), CPoint(3, 3));
  const Coverage c = coverage(window.image());
  EXPECT_EQ(c.count, 16);
  EXPECT_EQ(c.box, CRect(10, 20, 13, 23));
  EXPECT_EQ(window.image().pixel(11, 21), (raster::Pixel{255, 255, 255, 255}));
  EXPECT_EQ(window.image().pixel(10, 20), kRedPixel);

  // And back: a block of the window lands at the given point of the off-screen surface.
  offscreen.copyFromContext(&target, CRect(0, 0, 2, 2), CPoint(14, 10));
  EXPECT_EQ(memory->image().pixel(14, 10), kRedPixel);
  EXPECT_EQ(memory->image().pixel(15, 11), (raster::Pixel{255, 255, 255, 255}));
}

TEST(OffscreenContext, NegativeSizeGivesAnOrderedClip) {
  CFrame frame(CRect(0, 0, 20, 20), nullptr);
  COffscreenContext offscreen(&frame, 20, -10, kColorBlack);
  CRect clip;
  EXPECT_EQ(offscreen.getClipRect(clip), CRect(0, -10, 20, 0));
  offscreen.fillRect(CRect(0, 0, 20, 20));  // must not touch memory it does not have
}
