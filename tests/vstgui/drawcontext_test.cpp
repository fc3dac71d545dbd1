// The drawing context and the geometry it draws with: primitives, platform objects made only on a
// change, clipping, text, the mouse, and the off-screen context.
#include <gtest/gtest.h>

#include <string>

#include "platform/headless/input.h"
#include "platform/headless/window.h"
#include "platform/raster/text.h"
#include "test_pictures.h"
#include "vstgui/cframe.h"

using namespace VSTGUI;
using platform::Key;
using platform::headless::HeadlessSurface;
using testing_pictures::Canvas;
using testing_pictures::coverage;

namespace {

const raster::Pixel kRedPixel{0, 0, 255, 255};
const raster::Pixel kWhitePixel{255, 255, 255, 255};

class DrawContextTest : public ::testing::Test {
 protected:
  void TearDown() override {
    platform::headless::resetInput();
    recordSwappedMouseButtons();
  }
  HeadlessSurface surface{40, 40};
};

}  // namespace

TEST(Rect, BoundIsAClampedIntersectionHitsCountAllFourEdgesAndOrderedSetSwaps) {
  EXPECT_EQ(CRect(0, 0, 10, 10).bound(CRect(20, 20, 30, 30)), CRect(20, 20, 20, 20));
  EXPECT_EQ(CRect(0, 0, 10, 10).bound(CRect(5, -5, 15, 7)), CRect(5, 0, 10, 7));
  EXPECT_EQ(CRect(-10, -10, -5, -5).bound(CRect(-7, -20, 0, -8)), CRect(-7, -10, -5, -8));

  const CRect r(0, 0, 10, 10);
  EXPECT_TRUE(r.pointInside(CPoint(10, 10)));
  EXPECT_TRUE(r.pointInside(CPoint(0, 0)));
  EXPECT_FALSE(r.pointInside(CPoint(11, 10)));
  EXPECT_FALSE(r.pointInside(CPoint(5, -1)));

  CRect ordered;
  EXPECT_EQ(ordered.setOrdered(0, 0, 20, -10), CRect(0, -10, 20, 0));
  EXPECT_EQ(ordered.setOrdered(5, 8, -3, 9), CRect(-3, 8, 5, 9));
  EXPECT_EQ(CRect(1, 2, 4, 8).offset(10, -2), CRect(11, 0, 14, 6));
}

TEST_F(DrawContextTest, FillLeavesOutTheLeftColumnAndTopRowAndMovesWithTheOffset) {
  CDrawContext context(nullptr, &surface, nullptr);
  context.setFillColor(kColorRed);
  context.fillRect(CRect(0, 0, 10, 10));
  EXPECT_EQ(coverage(surface.image()).count, 81);
  EXPECT_EQ(coverage(surface.image()).box, CRect(1, 1, 9, 9));
  EXPECT_EQ(surface.image().pixel(5, 5), kRedPixel);

  Canvas moved(40, 40);
  moved.context.offset = CPoint(5, 7);
  moved.context.setFillColor(kColorRed);
  moved.context.fillRect(CRect(0, 0, 10, 10));
  EXPECT_EQ(coverage(moved.image()).count, 81);
  EXPECT_EQ(coverage(moved.image()).box, CRect(6, 8, 14, 16));
}

TEST_F(DrawContextTest, FrameIsTheOutlineAndTogetherWithFillCoversTheRectangle) {
  {
    CDrawContext context(nullptr, &surface, nullptr);  // default pen: white, one pixel
    context.frameRect(CRect(0, 0, 10, 10));
  }
  EXPECT_EQ(coverage(surface.image()).count, 36);
  EXPECT_EQ(coverage(surface.image()).box, CRect(0, 0, 9, 9));
  EXPECT_EQ(surface.image().pixel(0, 9), kWhitePixel);
  EXPECT_EQ(surface.image().pixel(1, 1), raster::Pixel{});

  CDrawContext context(nullptr, &surface, nullptr);
  context.offset = CPoint(3, 2);
  context.setFillColor(kColorRed);
  context.fillRect(CRect(0, 0, 10, 10));
  context.frameRect(CRect(0, 0, 10, 10));
  EXPECT_EQ(coverage(surface.image()).box, CRect(0, 0, 12, 11));
  // 14 pixels of the first outline lie under the second rectangle.
  EXPECT_EQ(coverage(surface.image()).count, 36 + 100 - 14);
}

TEST_F(DrawContextTest, LinesLeaveOutTheEndPixel) {
  CDrawContext context(nullptr, &surface, nullptr);
  context.offset = CPoint(2, 2);
  context.moveTo(CPoint(0, 0));
  context.lineTo(CPoint(5, 0));
  context.lineTo(CPoint(5, 3));
  EXPECT_EQ(coverage(surface.image()).count, 8);
  EXPECT_EQ(coverage(surface.image()).box, CRect(2, 2, 7, 4));
  EXPECT_EQ(surface.image().pixel(7, 5), raster::Pixel{});
}

TEST_F(DrawContextTest, ConstructionSelectsEachDefaultOnceAndDestructionGivesTheSurfaceItsObjectsBack) {
  const auto before = surface.state();
  {
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
    context.setFrameColor(kColorRed);
    context.setFont(kFontBig, kFontStyleItalic);
  }
  EXPECT_EQ(surface.state().penColor, before.penColor);
  EXPECT_EQ(surface.state().brushColor, before.brushColor);
  EXPECT_EQ(surface.state().font, before.font);
}

TEST_F(DrawContextTest, PensAndBrushesOnlyOnChangeAndAFailedBrushKeepsThePreviousOne) {
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

  surface.failBrushCreation(true);
  context.setFillColor(kColorRed);
  EXPECT_EQ(context.getFillColor(), kColorRed);
  surface.failBrushCreation(false);
  context.setFillColor(kColorRed);  // already the stored colour: no second attempt
  EXPECT_EQ(surface.state().brushColor, (platform::Color{127, 127, 127}));
  context.fillRect(CRect(0, 0, 5, 5));
  EXPECT_EQ(surface.image().pixel(2, 2), (raster::Pixel{127, 127, 127, 255}));
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

TEST_F(DrawContextTest, ClipStartsAtTheFrameSizeAndIsAppliedOnlyWhenItChanges) {
  CFrame frame(CRect(0, 0, 328, 264), nullptr);
  CDrawContext context(&frame, &surface, nullptr);
  CRect local;
  EXPECT_EQ(context.getClipRect(local), CRect(0, 0, 328, 264));
  const auto& n = surface.counters();
  EXPECT_EQ(n.clipsApplied, 0);  // recorded, not applied
  context.setClipRect(CRect(2, 2, 8, 8));
  context.setClipRect(CRect(2, 2, 8, 8));
  EXPECT_EQ(n.clipsApplied, 1);
  context.offset = CPoint(10, 10);
  context.setClipRect(CRect(2, 2, 8, 8));  // same local rectangle, different surface rectangle
  EXPECT_EQ(n.clipsApplied, 2);
  EXPECT_EQ(surface.clip(), (platform::Rect{12, 12, 18, 18}));
  EXPECT_EQ(context.getClipRect(local), CRect(2, 2, 8, 8));

  context.setFillColor(kColorRed);
  context.fillRect(CRect(-10, -10, 30, 30));
  EXPECT_EQ(coverage(surface.image()).box, CRect(12, 12, 17, 17));
  EXPECT_EQ(coverage(surface.image()).count, 36);
}

TEST_F(DrawContextTest, MouseButtonsReadLiveWithSwappedButtonsAndTheLocationRelativeToTheWindow) {
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

  // The location is the cursor's relative to the window on the screen, whatever the drawing offset.
  platform::headless::Window window({100, 200, 428, 464});
  {
    CDrawContext onWindow(nullptr, nullptr, window.handle());
    EXPECT_EQ(window.surfacesOut(), 1);
    onWindow.offset = CPoint(30, 30);
    platform::headless::setCursorPosition({150, 260});
    CPoint where;
    onWindow.getMouseLocation(where);
    EXPECT_EQ(where, CPoint(50, 60));
  }
  EXPECT_EQ(window.surfacesOut(), 0);
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

TEST(OffscreenContext, PaintsItsBackgroundCopiesBlocksAndOrdersANegativeSize) {
  CFrame frame(CRect(0, 0, 16, 12), nullptr);
  COffscreenContext offscreen(&frame, 16, 12, kColorRed);
  auto* memory = static_cast<HeadlessSurface*>(offscreen.getSurface());
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(coverage(memory->image(), [](raster::Pixel p) { return p == kRedPixel; }).count, 16 * 12);
  CRect clip;
  EXPECT_EQ(offscreen.getClipRect(clip), CRect(0, 0, 16, 12));

  offscreen.setFillColor(kColorWhite);
  offscreen.fillRect(CRect(3, 3, 6, 6));  // white at (4..5, 4..5)

  Canvas window(30, 30);
  window.context.offset = CPoint(10, 20);
  offscreen.copyToContext(&window.context, CRect(0, 0, 4, 4), CPoint(3, 3));
  EXPECT_EQ(coverage(window.image()).count, 16);
  EXPECT_EQ(coverage(window.image()).box, CRect(10, 20, 13, 23));
  EXPECT_EQ(window.at(11, 21), kWhitePixel);
  EXPECT_EQ(window.at(10, 20), kRedPixel);

  // And back: a block of the window lands at the given point of the off-screen surface.
  offscreen.copyFromContext(&window.context, CRect(0, 0, 2, 2), CPoint(14, 10));
  EXPECT_EQ(memory->image().pixel(14, 10), kRedPixel);
  EXPECT_EQ(memory->image().pixel(15, 11), kWhitePixel);

  COffscreenContext upsideDown(&frame, 20, -10, kColorBlack);
  EXPECT_EQ(upsideDown.getClipRect(clip), CRect(0, -10, 20, 0));
  upsideDown.fillRect(CRect(0, 0, 20, 20));  // must not touch memory it does not have
}

// --- text ---

namespace {

// The cells of a text drawn with an opaque blue background, so that they show.
CRect cells(const char* text, const CRect& rect, CHoriTxtAlign align, CFont font = kFontNormal,
            std::int32_t style = 0) {
  Canvas canvas(80, 30);
  canvas.context.setFont(font, style);
  canvas.context.setFillColor(CColor{0, 0, 255, 255});
  canvas.context.drawString(text, rect, 1, align);
  return coverage(canvas.image()).box;
}

}  // namespace

TEST(Text, FacesResolveToInstalledFonts) {
  const std::string arial = raster::resolveFontFile({"Arial", 12, 400, false, false, 0x22});
  EXPECT_NE(arial.find("LiberationSans-Regular"), std::string::npos) << arial;
  const std::string bold = raster::resolveFontFile({"Arial", 12, 700, true, false, 0x22});
  EXPECT_NE(bold.find("LiberationSans-BoldItalic"), std::string::npos) << bold;
  EXPECT_FALSE(raster::resolveFontFile({"Symbol", 13, 400, false, false, 0x50}).empty());
}

TEST(Text, AlignmentVerticalCentringAndClipping) {
  // Left starts one pixel in; any alignment other than centre and right aligns left.
  const CRect left = cells("Fade", CRect(10, 0, 50, 20), kAlignLeft);
  EXPECT_EQ(left.left, 11);
  EXPECT_GT(left.right, 20);
  EXPECT_EQ(cells("Fade", CRect(10, 0, 50, 20), static_cast<CHoriTxtAlign>(5)), left);

  const CRect right = cells("Fade", CRect(10, 0, 70, 20), kAlignRight);
  EXPECT_EQ(right.right, 69);
  const CRect centre = cells("Fade", CRect(10, 0, 70, 20), kAlignCenter);
  EXPECT_LE(std::abs((centre.left - 10) - (69 - centre.right)), 1);
  EXPECT_LE(std::abs(centre.top - (19 - centre.bottom)), 1);
  EXPECT_EQ(centre.right - centre.left, right.right - right.left);

  const CRect clipped = cells("A long line of text", CRect(5, 4, 30, 16), kAlignLeft);
  EXPECT_GE(clipped.left, 6);
  EXPECT_LE(clipped.right, 29);
  EXPECT_GE(clipped.top, 4);
  EXPECT_LE(clipped.bottom, 15);
}

TEST(Text, TheWholeStringOnOneLineWithoutPrefixesAndNoTextDrawsNothing) {
  const CRect one = cells("&", CRect(0, 0, 80, 20), kAlignLeft);
  const CRect two = cells("&&", CRect(0, 0, 80, 20), kAlignLeft);
  EXPECT_GT(two.right - two.left, one.right - one.left + 3);
  // No line breaks either: a newline is just a character on the same line.
  const CRect broken = cells("ab\ncd", CRect(0, 0, 80, 30), kAlignLeft);
  const CRect whole = cells("abcd", CRect(0, 0, 80, 30), kAlignLeft);
  EXPECT_EQ(broken.top, whole.top);
  EXPECT_EQ(broken.bottom, whole.bottom);
  EXPECT_EQ(cells(nullptr, CRect(0, 0, 20, 20), kAlignLeft).right, -1);
}

TEST(Text, TransparentTextIsDrawnInTheFontColourOnly) {
  Canvas canvas(60, 20);
  canvas.context.setFontColor(CColor{242, 115, 0, 255});
  canvas.context.setFillColor(CColor{0, 0, 255, 255});
  canvas.context.drawString("1.00", CRect(0, 0, 60, 20));
  EXPECT_EQ(coverage(canvas.image(), [](raster::Pixel p) { return p.blue != 0; }).count, 0)
      << "background painted";
  EXPECT_GT(coverage(canvas.image(),
                     [](raster::Pixel p) {
                       return p == raster::Pixel{0, 115, 242, 255};
                     })
                .count,
            0);
  EXPECT_EQ(canvas.surface.state().backgroundMode, platform::BackgroundMode::transparent);
}

TEST(Text, StylesChangeTheGlyphs) {
  const CRect regular = cells("Fade interval", CRect(0, 0, 80, 20), kAlignLeft, kFontNormal);
  const CRect bold = cells("Fade interval", CRect(0, 0, 80, 20), kAlignLeft, kFontNormal, kFontStyleBold);
  const CRect big = cells("Fade interval", CRect(0, 0, 80, 20), kAlignLeft, kFontVeryBig);
  EXPECT_GT(bold.right, regular.right);
  EXPECT_GT(big.bottom - big.top, regular.bottom - regular.top);
  auto drawn = [](std::int32_t style) {
    Canvas canvas(60, 20);
    canvas.context.setFont(kFontNormal, style);
    canvas.context.drawString("seconds", CRect(0, 0, 60, 20), 0, kAlignLeft);
    return coverage(canvas.image()).box;
  };
  EXPECT_GT(drawn(kFontStyleUnderline).bottom, drawn(0).bottom);
  Canvas symbol(40, 20);
  symbol.context.setFont(kFontSymbol, 0);
  symbol.context.drawString("abc", CRect(0, 0, 40, 20));
  EXPECT_GT(coverage(symbol.image()).count, 0);
}
