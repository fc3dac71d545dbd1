// Bitmaps: PNG resources decoded into premultiplied images and drawn three ways, the classic
// fallback, damaged pictures; and the editor's own pictures as a person would check them on screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "platform/resources.h"
#include "test_pictures.h"
#include "vstgui/cbitmap.h"

using namespace VSTGUI;
using testing_pictures::Canvas;
using testing_pictures::encodePng;
using testing_pictures::imageBytes;
using testing_pictures::PngPicture;

namespace {

// Test pictures are registered under numbers the library does not carry.
class BitmapTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::unregisterResources(); }

  std::uint16_t add(std::vector<std::uint8_t> bytes) {
    files.push_back(std::move(bytes));
    const std::uint16_t number = static_cast<std::uint16_t>(2000 + files.size());
    platform::registerResource("PNG", number, files.back());
    return number;
  }

  // The stored bytes of pixel x of the picture's row y (top-down).
  static std::vector<int> stored(const CBitmap& bitmap, int x, int y) {
    const std::uint8_t* p = bitmap.getImage()->memoryRow(bitmap.getHeight() - 1 - y) + 4 * x;
    return {p[0], p[1], p[2], p[3]};
  }

  std::vector<std::vector<std::uint8_t>> files;
};

// Loads bitmaps that are created and forgotten like the editor does.
struct Loaded {
  explicit Loaded(std::int32_t id) : bitmap(new CBitmap(id)) {}
  ~Loaded() { bitmap->forget(); }
  CBitmap* operator->() { return bitmap; }
  CBitmap& operator*() { return *bitmap; }
  CBitmap* bitmap;
};

// A patterned ground for blending tests.
void paintGround(Canvas& canvas) {
  for (int y = 0; y < canvas.image().height(); ++y)
    for (int x = 0; x < canvas.image().width(); ++x)
      *canvas.surface.image().at(x, y) = {static_cast<std::uint8_t>(x * 20),
                                          static_cast<std::uint8_t>(y * 30), 90, 255};
}

}  // namespace

// Every colour value under every alpha, in the bitmap that decodes the picture and in the next one,
// which gets its pixels from the first decoding.
TEST_F(BitmapTest, PremultipliesByShift) {
  PngPicture picture{4,
                     1,
                     PNG_COLOR_TYPE_RGB_ALPHA,
                     8,
                     {200, 100, 50, 255, 255, 255, 255, 255, 10, 20, 30, 0, 255, 0, 0, 128}};
  PngPicture everyPair{256, 256, PNG_COLOR_TYPE_RGB_ALPHA, 8, {}};
  for (int a = 0; a < 256; ++a)
    for (int c = 0; c < 256; ++c)
      everyPair.samples.insert(everyPair.samples.end(),
                               {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(255 - c),
                                static_cast<std::uint8_t>(c ^ 0x5a), static_cast<std::uint8_t>(a)});
  const std::uint16_t few = add(encodePng(picture)), all = add(encodePng(everyPair));
  for (int load = 0; load < 2; ++load) {
    Loaded bitmap(few);
    ASSERT_EQ(bitmap->getWidth(), 4);
    EXPECT_FALSE(bitmap->getNoAlpha());
    EXPECT_EQ(stored(*bitmap, 0, 0), (std::vector<int>{49, 99, 199, 255}));
    EXPECT_EQ(stored(*bitmap, 1, 0), (std::vector<int>{254, 254, 254, 255}));
    EXPECT_EQ(stored(*bitmap, 2, 0), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(stored(*bitmap, 3, 0), (std::vector<int>{0, 0, 127, 128}));

    Loaded pairs(all);
    ASSERT_EQ(pairs->getHeight(), 256);
    for (int a = 0; a < 256; ++a)
      for (int c = 0; c < 256; ++c)
        ASSERT_EQ(stored(*pairs, c, a),
                  (std::vector<int>{(c ^ 0x5a) * a >> 8, (255 - c) * a >> 8, c * a >> 8, a}))
            << "colour " << c << ", alpha " << a << ", load " << load;
  }
}

// Bitmaps of one picture have images of their own, and a picture registered anew at the address of
// one that went is decoded anew.
TEST_F(BitmapTest, EveryBitmapHasItsOwnImageOfItsOwnBytes) {
  Loaded first(129), second(129);
  ASSERT_NE(first->getImage(), nullptr);
  ASSERT_NE(first->getImage(), second->getImage());
  const int lastRow = first->getHeight() - 1;
  EXPECT_EQ(0, std::memcmp(first->getImage()->memoryRow(lastRow), second->getImage()->memoryRow(lastRow),
                           static_cast<std::size_t>(first->getWidth()) * 4));
  // Written through the later one, the first keeps the picture.
  const std::uint8_t shown = first->getImage()->memoryRow(lastRow)[60 * 4];
  const_cast<platform::Bitmap*>(second->getImage())->memoryRow(lastRow)[60 * 4] = shown ^ 0xff;
  EXPECT_EQ(first->getImage()->memoryRow(lastRow)[60 * 4], shown);

  std::vector<std::uint8_t> red = encodePng({1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {255, 0, 0, 255}});
  const std::vector<std::uint8_t> blue = encodePng({1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {0, 0, 255, 255}});
  ASSERT_EQ(red.size(), blue.size());
  platform::registerResource("PNG", 3000, red);
  EXPECT_EQ(stored(*Loaded(3000), 0, 0), (std::vector<int>{0, 0, 254, 255}));
  platform::unregisterResources();
  std::copy(blue.begin(), blue.end(), red.begin());
  platform::registerResource("PNG", 3000, red);
  EXPECT_EQ(stored(*Loaded(3000), 0, 0), (std::vector<int>{254, 0, 0, 255}));
}

TEST_F(BitmapTest, ColourTypesAndInterlacingEndInBlueGreenRedAlpha) {
  // Colour type 2 without a transparency chunk: opaque everywhere.
  Loaded rgb(add(encodePng({2, 1, PNG_COLOR_TYPE_RGB, 8, {255, 0, 0, 0, 0, 255}})));
  EXPECT_EQ(stored(*rgb, 0, 0), (std::vector<int>{0, 0, 254, 255}));
  EXPECT_EQ(stored(*rgb, 1, 0), (std::vector<int>{254, 0, 0, 255}));

  // Grey with alpha, 16 bits a sample (given little-endian): the high byte counts.
  Loaded grey(add(encodePng({1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 16, {0x34, 0x80, 0xff, 0xff}})));
  EXPECT_EQ(stored(*grey, 0, 0), (std::vector<int>{127, 127, 127, 255}));

  // Palette with a transparency chunk: the entry's alpha applies.
  PngPicture palette{2, 1, PNG_COLOR_TYPE_PALETTE, 8, {0, 1}, {{10, 20, 30}, {255, 255, 255}}, {255, 0}};
  Loaded indexed(add(encodePng(palette)));
  EXPECT_EQ(stored(*indexed, 0, 0), (std::vector<int>{29, 19, 9, 255}));
  EXPECT_EQ(stored(*indexed, 1, 0), (std::vector<int>{0, 0, 0, 0}));

  // One-bit grey widens to 8 bits.
  Loaded bits(add(encodePng({8, 1, PNG_COLOR_TYPE_GRAY, 1, {0b10100000}})));
  EXPECT_EQ(stored(*bits, 0, 0), (std::vector<int>{254, 254, 254, 255}));
  EXPECT_EQ(stored(*bits, 1, 0), (std::vector<int>{0, 0, 0, 255}));

  // An interlaced picture decodes whole, as its plain twin does.
  PngPicture plain{9, 9, PNG_COLOR_TYPE_RGB_ALPHA, 8, {}};
  for (int i = 0; i < 81; ++i)
    plain.samples.insert(plain.samples.end(), {static_cast<std::uint8_t>(i), 0, 0, 255});
  PngPicture interlaced = plain;
  interlaced.interlaced = true;
  Loaded once(add(encodePng(plain))), adam7(add(encodePng(interlaced)));
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) ASSERT_EQ(stored(*adam7, x, y), stored(*once, x, y)) << x << "," << y;
}

TEST_F(BitmapTest, TheTopRowShowsAtTheTopAndBlocksOutsideThePictureReadNothingOutside) {
  // Three rows: red, green, blue.
  PngPicture picture{1, 3, PNG_COLOR_TYPE_RGB_ALPHA, 8, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255}};
  Loaded bitmap(add(encodePng(picture)));
  Canvas canvas(4, 4);
  canvas.context.offset = CPoint(1, 0);
  bitmap->draw(&canvas.context, CRect(0, 1, 1, 3), CPoint(0, 1));  // rows 1 and 2 of the picture
  EXPECT_EQ(canvas.at(1, 0), raster::Pixel{});
  EXPECT_EQ(canvas.at(1, 1), (raster::Pixel{0, 254, 0, 255}));
  EXPECT_EQ(canvas.at(1, 2), (raster::Pixel{254, 0, 0, 255}));
  // Bottom-up memory: the picture's first row is the last memory row.
  EXPECT_EQ(bitmap->getImage()->memoryRow(2)[2], 254);

  Loaded square(add(encodePng({2, 2, PNG_COLOR_TYPE_RGB, 8, {255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0}})));
  Canvas outside(8, 8);
  square->draw(&outside.context, CRect(0, 0, 8, 8), CPoint(-1, 1));  // columns 1..2 and row 0 overlap
  EXPECT_EQ(testing_pictures::coverage(outside.image()).count, 2);
  EXPECT_EQ(outside.at(1, 0), (raster::Pixel{0, 0, 254, 255}));
  square->draw(&outside.context, CRect(-5, -5, 3, 3), CPoint(100000, -100000));
  square->drawAlphaBlend(&outside.context, CRect(0, 0, 1 << 30, 1 << 30), CPoint(-(1 << 30), 0), 200);
}

TEST_F(BitmapTest, DrawAndDrawTransparentAreTheBlendAtFullOpacityWhichScalesWithTheOpacity) {
  PngPicture picture{
      3, 2, PNG_COLOR_TYPE_RGB_ALPHA, 8, {255, 255, 255, 255, 200, 10,  10,  128, 0, 0, 0,   0,
                                          10,  200, 90,  30,  255, 255, 255, 200, 0, 0, 255, 255}};
  Loaded bitmap(add(encodePng(picture)));
  auto render = [&](int how) {
    Canvas canvas(6, 5);
    paintGround(canvas);
    const CRect where(1, 1, 4, 3);
    if (how == 0) bitmap->draw(&canvas.context, where);
    if (how == 1) bitmap->drawTransparent(&canvas.context, where);
    if (how == 2) bitmap->drawAlphaBlend(&canvas.context, where, CPoint(), 255);
    return canvas.bytes();
  };
  const auto blended = render(2);
  EXPECT_EQ(render(0), blended);
  EXPECT_EQ(render(1), blended);  // white is not left out: the picture has alpha
  Canvas ground(6, 5);
  paintGround(ground);
  EXPECT_NE(ground.bytes(), blended);

  Loaded white(add(encodePng({1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {255, 255, 255, 255}})));
  Canvas black(1, 1, kColorBlack);
  white->drawAlphaBlend(&black.context, CRect(0, 0, 1, 1), CPoint(), 128);
  const raster::Pixel p = black.at(0, 0);
  EXPECT_NEAR(p.red, 127, 1);
  EXPECT_EQ(p.alpha, 255);
  white->drawAlphaBlend(&black.context, CRect(0, 0, 1, 1), CPoint(), 0);
  EXPECT_EQ(black.at(0, 0), p);
}

TEST_F(BitmapTest, DisposeLoadFromPathAndAMissingResourceLeaveItEmpty) {
  Loaded bitmap(128);
  bitmap->dispose();
  EXPECT_EQ(bitmap->getWidth(), 0);
  EXPECT_EQ(bitmap->getHeight(), 0);
  EXPECT_EQ(bitmap->getImage(), nullptr);
  Canvas canvas(4, 4);
  bitmap->draw(&canvas.context, CRect(0, 0, 4, 4));
  bitmap->drawTransparent(&canvas.context, CRect(0, 0, 4, 4));
  bitmap->drawAlphaBlend(&canvas.context, CRect(0, 0, 4, 4), CPoint(), 255);
  EXPECT_EQ(canvas.at(1, 1), raster::Pixel{});

  EXPECT_TRUE(bitmap->loadFromResource(129));
  EXPECT_EQ(bitmap->getHeight(), 6000);
  EXPECT_FALSE(bitmap->loadFromPath("resources/knob.png"));
  EXPECT_EQ(bitmap->getWidth(), 0);
  EXPECT_EQ(bitmap->getImage(), nullptr);

  Loaded missing(4321);
  EXPECT_EQ(missing->getWidth(), 0);
  EXPECT_FALSE(missing->loadFromResource(4321));
}

TEST_F(BitmapTest, ClassicBitmapIsTheFallback) {
  platform::headless::HeadlessBitmap pixels(2, 1);
  // Memory row 0 is the only row: white, then grey.
  const std::uint8_t row[] = {255, 255, 255, 0, 100, 100, 100, 0};
  std::copy(std::begin(row), std::end(row), pixels.memoryRow(0));
  platform::registerClassicBitmap(3001, pixels);

  Loaded classic(3001);
  ASSERT_EQ(classic->getWidth(), 2);
  EXPECT_TRUE(classic->getNoAlpha());
  Canvas canvas(2, 1);
  classic->drawTransparent(&canvas.context, CRect(0, 0, 2, 1));  // pure white is left out
  EXPECT_EQ(canvas.at(0, 0), raster::Pixel{});
  EXPECT_EQ(canvas.at(1, 0), (raster::Pixel{100, 100, 100, 255}));
  classic->draw(&canvas.context, CRect(0, 0, 2, 1));  // a plain copy
  EXPECT_EQ(canvas.at(0, 0), (raster::Pixel{255, 255, 255, 255}));

  // A PNG of the same number wins.
  platform::registerClassicBitmap(128, pixels);
  Loaded png(128);
  EXPECT_EQ(png->getWidth(), 328);
  EXPECT_FALSE(png->getNoAlpha());
}

// A picture whose header does not read leaves the bitmap empty; one cut short in its pixels keeps
// the size its header gives and has no image to draw.
TEST_F(BitmapTest, DamagedPicturesDrawNothing) {
  PngPicture picture{16, 16, PNG_COLOR_TYPE_RGB_ALPHA, 8, std::vector<std::uint8_t>(16 * 16 * 4, 77)};
  const std::vector<std::uint8_t> good = encodePng(picture);
  ASSERT_NE(Loaded(add(good))->getImage(), nullptr);

  std::vector<std::pair<std::vector<std::uint8_t>, int>> damaged;  // the bytes, the side their header gives
  for (std::size_t cut :
       {std::size_t{7}, std::size_t{20}, std::size_t{40}, good.size() - 20, good.size() - 1})
    damaged.emplace_back(std::vector<std::uint8_t>(good.begin(), good.begin() + cut), cut > 40 ? 16 : 0);
  std::vector<std::uint8_t> badName = good;
  badName[40] ^= 0x55;  // the name of the image data's chunk
  damaged.emplace_back(badName, 0);
  damaged.emplace_back(encodePng({20000, 1, PNG_COLOR_TYPE_GRAY, 1, std::vector<std::uint8_t>(2500)}), 0);

  for (const auto& [bytes, side] : damaged) {
    SCOPED_TRACE(std::to_string(bytes.size()) + " bytes");
    const std::uint16_t number = add(bytes);
    Loaded bitmap(number);
    EXPECT_EQ(bitmap->getWidth(), side);
    EXPECT_EQ(bitmap->getHeight(), side);
    EXPECT_EQ(bitmap->getImage(), nullptr);
    EXPECT_EQ(bitmap->loadFromResource(number), side != 0);
  }
}

// --- the editor's pictures ---

namespace {

// A picture drawn the way the editor shows it, onto a black window, with its own size.
struct Rendered {
  Rendered(std::int32_t id, int width, int height) : canvas(width, height, kColorBlack) {
    CBitmap* bitmap = new CBitmap(id);
    size = CPoint(bitmap->getWidth(), bitmap->getHeight());
    bitmap->draw(&canvas.context, CRect(0, 0, width, height));
    bitmap->forget();
  }
  raster::Pixel at(int x, int y) const { return canvas.at(x, y); }
  int count(const CRect& r, bool (*test)(raster::Pixel)) const {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) n += test(at(x, y));
    return n;
  }
  Canvas canvas;
  CPoint size;
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

TEST(Pictures, BackgroundLayout) {
  const Rendered bg(128, 328, 264);
  EXPECT_EQ(bg.size, CPoint(328, 264));
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
  EXPECT_EQ(about.size, CPoint(328, 264));
  for (int y : {0, 50, 113, 259, 263})
    for (int x = 0; x < 328; x += 7) ASSERT_EQ(about.at(x, y), bg.at(x, y)) << x << "," << y;
  EXPECT_GT(about.count(CRect(0, 120, 328, 251), isGrey), 328 * 131 * 6 / 10);
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
  EXPECT_EQ(strip->getWidth(), 100);
  EXPECT_EQ(strip->getHeight(), 6000);
  std::set<std::vector<std::uint8_t>> distinct;
  std::vector<double> angles;
  for (int frame = 0; frame < 60; ++frame) {
    Canvas canvas(100, 100);
    strip->draw(&canvas.context, CRect(0, 0, 100, 100), CPoint(0, frame * 100));
    distinct.insert(canvas.bytes());
    EXPECT_TRUE(isBlack(canvas.at(0, 0)) && isBlack(canvas.at(99, 99))) << frame;
    EXPECT_GT(luma(canvas.at(50, 60)), 90) << "metal face in frame " << frame;
    angles.push_back(dotAngle(canvas.image()));
  }
  strip->forget();
  EXPECT_EQ(distinct.size(), 60u);
  EXPECT_NEAR(angles[0], 225, 3);   // lower left
  EXPECT_NEAR(angles[29], 90, 5);   // top
  EXPECT_NEAR(angles[59], -45, 3);  // lower right
  for (int k = 1; k < 60; ++k) EXPECT_LT(angles[k], angles[k - 1]) << "frame " << k;
}

TEST(Pictures, KnobOverTheBackgroundKeepsTheLabelsVisible) {
  Rendered screen(128, 328, 264);
  const int before = screen.count(CRect(43, 128, 143, 134), isWhite);
  CBitmap* knob = new CBitmap(129);
  knob->draw(&screen.canvas.context, CRect(43, 128, 143, 228), CPoint(0, 0));
  knob->forget();
  EXPECT_GT(before, 0);
  EXPECT_EQ(screen.count(CRect(43, 128, 143, 134), isWhite), before);
}
