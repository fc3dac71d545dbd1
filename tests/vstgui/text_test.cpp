#include "platform/raster/text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/headless/surface.h"
#include "vstgui/cdrawcontext.h"

using namespace VSTGUI;
using platform::headless::HeadlessSurface;

namespace {

const CColor kBlue{0, 0, 255, 255};

// Columns and rows (inclusive) holding any changed pixel; left > right when none.
CRect touched(const raster::Image& image) {
  CRect box(1 << 20, 1 << 20, -1, -1);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != raster::Pixel{}) {
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x);
        box.bottom = std::max(box.bottom, y);
      }
  return box;
}

// Draws with an opaque blue background so that the text's cells show.
CRect cells(const char* text, const CRect& rect, CHoriTxtAlign align, CFont font = kFontNormal,
            std::int32_t style = 0) {
  HeadlessSurface surface(80, 30);
  CDrawContext context(nullptr, &surface, nullptr);
  context.setFont(font, style);
  context.setFillColor(kBlue);
  context.drawString(text, rect, 1, align);
  return touched(surface.image());
}

std::vector<std::uint8_t> pixels(const raster::Image& image) {
  std::vector<std::uint8_t> bytes;
  for (int y = 0; y < image.height(); ++y)
    bytes.insert(bytes.end(), image.memoryRow(y), image.memoryRow(y) + image.rowBytes());
  return bytes;
}

}  // namespace

TEST(Text, FacesResolveToInstalledFonts) {
  const std::string arial = raster::resolveFontFile({"Arial", 12, 400, false, false, 0x22});
  EXPECT_NE(arial.find("LiberationSans-Regular"), std::string::npos) << arial;
  const std::string bold = raster::resolveFontFile({"Arial", 12, 700, true, false, 0x22});
  EXPECT_NE(bold.find("LiberationSans-BoldItalic"), std::string::npos) << bold;
  EXPECT_FALSE(raster::resolveFontFile({"Symbol", 13, 400, false, false, 0x50}).empty());
}

TEST(Text, LeftAlignmentStartsOnePixelIn) {
  const CRect left = cells("Fade", CRect(10, 0, 50, 20), kAlignLeft);
  EXPECT_EQ(left.left, 11);
  EXPECT_GT(left.right, 20);
  // Any alignment other than centre and right aligns left.
  EXPECT_EQ(cells("Fade", CRect(10, 0, 50, 20), static_cast<CHoriTxtAlign>(5)), left);
}

TEST(Text, RightAndCentreAlignmentAndVerticalCentring) {
  const CRect right = cells("Fade", CRect(10, 0, 70, 20), kAlignRight);
  EXPECT_EQ(right.right, 69);
  const CRect centre = cells("Fade", CRect(10, 0, 70, 20), kAlignCenter);
  EXPECT_LE(std::abs((centre.left - 10) - (69 - centre.right)), 1);
  EXPECT_LE(std::abs(centre.top - (19 - centre.bottom)), 1);
  EXPECT_EQ(centre.right - centre.left, right.right - right.left);
}

TEST(Text, NoPrefixProcessingAndWholeString) {
  const CRect one = cells("&", CRect(0, 0, 80, 20), kAlignLeft);
  const CRect two = cells("&&", CRect(0, 0, 80, 20), kAlignLeft);
  EXPECT_GT(two.right - two.left, one.right - one.left + 3);
  // No line breaks either: a newline is just a character on the same line.
  const CRect broken = cells("ab\ncd", CRect(0, 0, 80, 30), kAlignLeft);
  const CRect whole = cells("abcd", CRect(0, 0, 80, 30), kAlignLeft);
  EXPECT_EQ(broken.top, whole.top);
  EXPECT_EQ(broken.bottom, whole.bottom);
}

TEST(Text, ClippedToTheRectangle) {
  const CRect clipped = cells("A long line of text", CRect(5, 4, 30, 16), kAlignLeft);
  EXPECT_GE(clipped.left, 6);
  EXPECT_LE(clipped.right, 29);
  EXPECT_GE(clipped.top, 4);
  EXPECT_LE(clipped.bottom, 15);
}

TEST(Text, TransparentTextIsDrawnInTheFontColourOnly) {
  HeadlessSurface surface(60, 20);
  CDrawContext context(nullptr, &surface, nullptr);
  context.setFontColor(CColor{242, 115, 0, 255});
  context.setFillColor(kBlue);
  context.drawString("1.00", CRect(0, 0, 60, 20));
  bool fullCoverage = false;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) {
      const raster::Pixel p = surface.image().pixel(x, y);
      EXPECT_EQ(p.blue, 0) << "background painted at " << x << "," << y;
      if (p == raster::Pixel{0, 115, 242, 255}) fullCoverage = true;
    }
  EXPECT_TRUE(fullCoverage);
  EXPECT_EQ(surface.state().backgroundMode, platform::BackgroundMode::transparent);
}

TEST(Text, NullTextDrawsNothing) {
  HeadlessSurface surface(20, 20);
  CDrawContext context(nullptr, &surface, nullptr);
  context.drawString(nullptr, CRect(0, 0, 20, 20), 1);
  EXPECT_EQ(touched(surface.image()).right, -1);
}

TEST(Text, StylesChangeTheGlyphs) {
  const CRect regular = cells("Fade interval", CRect(0, 0, 80, 20), kAlignLeft, kFontNormal);
  const CRect bold = cells("Fade interval", CRect(0, 0, 80, 20), kAlignLeft, kFontNormal, kFontStyleBold);
  const CRect big = cells("Fade interval", CRect(0, 0, 80, 20), kAlignLeft, kFontVeryBig);
  EXPECT_GT(bold.right, regular.right);
  EXPECT_GT(big.bottom - big.top, regular.bottom - regular.top);

  auto draw = [](std::int32_t style) {
    HeadlessSurface surface(60, 20);
    CDrawContext context(nullptr, &surface, nullptr);
    context.setFont(kFontNormal, style);
    context.drawString("seconds", CRect(0, 0, 60, 20), 0, kAlignLeft);
    return touched(surface.image());
  };
  EXPECT_GT(draw(kFontStyleUnderline).bottom, draw(0).bottom);
  EXPECT_NE(pixels([] {
              HeadlessSurface s(40, 20);
              CDrawContext c(nullptr, &s, nullptr);
              c.setFont(kFontSymbol, 0);
              c.drawString("abc", CRect(0, 0, 40, 20));
              return s.image();
            }()),
            pixels(raster::Image(40, 20, false)));
}
