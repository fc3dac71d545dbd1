// The editor's pictures as a person would check them once they are on screen.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/headless/surface.h"
#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"

using namespace VSTGUI;
using platform::headless::HeadlessSurface;

namespace {

// A picture rendered the way the editor shows it: alpha-blended onto a black window.
struct Rendered {
  Rendered(std::int32_t id, int width, int height, CPoint source = CPoint()) : surface(width, height) {
    CBitmap* bitmap = new CBitmap(id);
    CDrawContext context(nullptr, &surface, nullptr);
    context.setFillColor(kColorRed);  // the ground must be the picture's own, not a leftover
    context.fillRect(CRect(-1, -1, width, height));
    context.setFillColor(kColorBlack);
    context.fillRect(CRect(-1, -1, width, height));
    bitmap->draw(&context, CRect(0, 0, width, height), source);
    bitmap->forget();
  }
  raster::Pixel at(int x, int y) const { return surface.image().pixel(x, y); }
  int count(const CRect& r, bool (*test)(raster::Pixel)) const {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) n += test(at(x, y));
    return n;
  }
  HeadlessSurface surface;
};

int luma(raster::Pixel p) { return (299 * p.red + 587 * p.green + 114 * p.blue) / 1000; }
bool isBlack(raster::Pixel p) { return p.red < 8 && p.green < 8 && p.blue < 8; }
bool isWhite(raster::Pixel p) { return p.red > 200 && p.green > 200 && p.blue > 200; }
bool isOrange(raster::Pixel p) { return p.red > 180 && p.green > 60 && p.green < 170 && p.blue < 60; }
bool isGrey(raster::Pixel p) {
  return std::max({p.red, p.green, p.blue}) - std::min({p.red, p.green, p.blue}) <= 12 && luma(p) >= 35 &&
         luma(p) <= 200;
}

}  // namespace

TEST(Pictures, Sizes) {
  const std::pair<int, CPoint> expected[] = {{128, {328, 264}}, {129, {100, 6000}}, {140, {328, 264}}};
  for (const auto& [id, size] : expected) {
    CBitmap* bitmap = new CBitmap(id);
    EXPECT_EQ(bitmap->getWidth(), size.x) << id;
    EXPECT_EQ(bitmap->getHeight(), size.y) << id;
    bitmap->forget();
  }
}

TEST(Pictures, BackgroundLayout) {
  const Rendered bg(128, 328, 264);
  for (CPoint p : {CPoint(0, 0), CPoint(327, 0), CPoint(0, 263), CPoint(327, 263), CPoint(20, 110)})
    EXPECT_TRUE(isBlack(bg.at(p.x, p.y))) << p.x << "," << p.y;
  // Title in orange over the upper third, inside the about click area.
  EXPECT_GT(bg.count(CRect(42, 22, 312, 80), isOrange), 500);
  EXPECT_EQ(bg.count(CRect(0, 100, 328, 124), isOrange), 0);
  // White labels in rows 124 to 133 over each knob, and no white on the rows around them.
  EXPECT_GT(bg.count(CRect(43, 124, 143, 134), isWhite), 40);
  EXPECT_GT(bg.count(CRect(184, 124, 284, 134), isWhite), 40);
  EXPECT_EQ(bg.count(CRect(0, 110, 300, 123), isWhite), 0);
  EXPECT_EQ(bg.count(CRect(0, 136, 300, 228), isWhite), 0);
  // The knob places below the labels are plain black.
  EXPECT_EQ(bg.count(CRect(43, 136, 143, 228), isBlack), 100 * 92);
  EXPECT_EQ(bg.count(CRect(184, 136, 284, 228), isBlack), 100 * 92);
  // "v 1.0" at the right edge.
  EXPECT_GT(bg.count(CRect(290, 0, 328, 264), [](raster::Pixel p) { return !isBlack(p); }), 20);
  // Orange-rimmed boxes along the bottom whose left part is left free for the value displays.
  EXPECT_GT(bg.count(CRect(30, 228, 160, 258), isOrange), 150);
  EXPECT_GT(bg.count(CRect(171, 228, 300, 258), isOrange), 150);
  EXPECT_EQ(bg.count(CRect(46, 235, 76, 249), isBlack), 30 * 14);
  EXPECT_EQ(bg.count(CRect(187, 235, 217, 249), isBlack), 30 * 14);
  EXPECT_GT(bg.count(CRect(78, 235, 150, 251), [](raster::Pixel p) { return !isBlack(p); }), 30);
}

TEST(Pictures, AboutPictureHasAGreyPanelWithText) {
  const Rendered about(140, 328, 264);
  const Rendered bg(128, 328, 264);
  for (int y : {0, 50, 113, 259, 263})
    for (int x = 0; x < 328; x += 7) ASSERT_EQ(about.at(x, y), bg.at(x, y)) << x << "," << y;
  const int panel = about.count(CRect(0, 120, 328, 251), isGrey);
  EXPECT_GT(panel, 328 * 131 * 6 / 10);
  EXPECT_LT(bg.count(CRect(0, 120, 328, 251), isGrey), 328 * 131 / 10);
  EXPECT_GT(about.count(CRect(10, 135, 318, 235), isWhite), 300);
  EXPECT_GT(about.count(CRect(10, 236, 318, 256), isOrange), 100);
}

namespace {

// Angle of the darkest spot on the knob face, counter-clockwise from +x with y up.
double dotAngle(const raster::Image& frame) {
  double sx = 0, sy = 0, weight = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) {
      const double dx = x + 0.5 - 50, dy = 50 - (y + 0.5);
      if (dx * dx + dy * dy > 26 * 26) continue;
      const double darkness = std::max(0, 80 - luma(frame.pixel(x, y)));
      sx += dx * darkness;
      sy += dy * darkness;
      weight += darkness;
    }
  if (weight == 0) return NAN;
  const double angle = std::atan2(sy, sx) * 180 / M_PI;
  return angle < -90 ? angle + 360 : angle;
}

}  // namespace

TEST(Pictures, KnobStripTurnsClockwiseThroughSixtyFrames) {
  CBitmap* strip = new CBitmap(129);
  std::set<std::size_t> distinct;
  std::vector<double> angles;
  for (int frame = 0; frame < 60; ++frame) {
    HeadlessSurface surface(100, 100);
    CDrawContext context(nullptr, &surface, nullptr);
    strip->draw(&context, CRect(0, 0, 100, 100), CPoint(0, frame * 100));
    const raster::Image& image = surface.image();
    std::string bytes;
    for (int y = 0; y < 100; ++y)
      bytes.append(reinterpret_cast<const char*>(image.memoryRow(y)),
                   static_cast<std::size_t>(image.rowBytes()));
    distinct.insert(std::hash<std::string>{}(bytes));
    EXPECT_TRUE(isBlack(image.pixel(0, 0)) && isBlack(image.pixel(99, 99))) << frame;
    EXPECT_GT(luma(image.pixel(50, 60)), 90) << "metal face in frame " << frame;
    angles.push_back(dotAngle(image));
  }
  strip->forget();
  EXPECT_EQ(distinct.size(), 60u);
  EXPECT_NEAR(angles[0], 225, 3);   // lower left
  EXPECT_NEAR(angles[29], 90, 5);   // top
  EXPECT_NEAR(angles[59], -45, 3);  // lower right
  for (int k = 1; k < 60; ++k) EXPECT_LT(angles[k], angles[k - 1]) << "frame " << k;
}

TEST(Pictures, KnobOverTheBackgroundKeepsTheLabelsVisible) {
  HeadlessSurface surface(328, 264);
  CDrawContext context(nullptr, &surface, nullptr);
  CBitmap* bg = new CBitmap(128);
  CBitmap* knob = new CBitmap(129);
  bg->draw(&context, CRect(0, 0, 328, 264));
  int before = 0, after = 0;
  for (int y = 128; y < 134; ++y)
    for (int x = 43; x < 143; ++x) before += isWhite(surface.image().pixel(x, y));
  knob->draw(&context, CRect(43, 128, 143, 228), CPoint(0, 0));
  for (int y = 128; y < 134; ++y)
    for (int x = 43; x < 143; ++x) after += isWhite(surface.image().pixel(x, y));
  EXPECT_GT(before, 0);
  EXPECT_EQ(after, before);
  bg->forget();
  knob->forget();
}
