#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/headless/surface.h"
#include "platform/resources.h"
#include "test_pictures.h"
#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"

using namespace VSTGUI;
using platform::headless::HeadlessSurface;
using testing_pictures::encodePng;
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

std::vector<std::uint8_t> imageBytes(const raster::Image& image) {
  std::vector<std::uint8_t> bytes;
  for (int y = 0; y < image.height(); ++y)
    bytes.insert(bytes.end(), image.memoryRow(y), image.memoryRow(y) + image.rowBytes());
  return bytes;
}

// A patterned ground for blending tests.
void paintGround(HeadlessSurface& surface) {
  for (int y = 0; y < surface.image().height(); ++y)
    for (int x = 0; x < surface.image().width(); ++x)
      *surface.image().at(x, y) = {static_cast<std::uint8_t>(x * 20), static_cast<std::uint8_t>(y * 30), 90,
                                   255};
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

TEST_F(BitmapTest, ColourTypesEndInBlueGreenRedAlpha) {
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
}

TEST_F(BitmapTest, InterlacedPicturesDecodeWhole) {
  PngPicture picture{9, 9, PNG_COLOR_TYPE_RGB_ALPHA, 8, {}};
  for (int i = 0; i < 81; ++i)
    picture.samples.insert(picture.samples.end(), {static_cast<std::uint8_t>(i), 0, 0, 255});
  PngPicture interlaced = picture;
  interlaced.interlaced = true;
  Loaded plain(add(encodePng(picture)));
  Loaded adam7(add(encodePng(interlaced)));
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) ASSERT_EQ(stored(*adam7, x, y), stored(*plain, x, y)) << x << "," << y;
}

TEST_F(BitmapTest, TopRowShowsAtTheTop) {
  // Three rows: red, green, blue.
  PngPicture picture{1, 3, PNG_COLOR_TYPE_RGB_ALPHA, 8, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255}};
  Loaded bitmap(add(encodePng(picture)));
  HeadlessSurface surface(4, 4);
  CDrawContext context(nullptr, &surface, nullptr);
  context.offset = CPoint(1, 0);
  bitmap->draw(&context, CRect(0, 1, 1, 3), CPoint(0, 1));  // rows 1 and 2 of the picture
  EXPECT_EQ(surface.image().pixel(1, 0), raster::Pixel{});
  EXPECT_EQ(surface.image().pixel(1, 1), (raster::Pixel{0, 254, 0, 255}));
  EXPECT_EQ(surface.image().pixel(1, 2), (raster::Pixel{254, 0, 0, 255}));
  // Bottom-up memory: the picture's first row is the last memory row.
  EXPECT_EQ(bitmap->getImage()->memoryRow(2)[2], 254);
}

TEST_F(BitmapTest, DrawAndDrawTransparentEqualAlphaBlendAtFullOpacity) {
  PngPicture picture{
      3, 2, PNG_COLOR_TYPE_RGB_ALPHA, 8, {255, 255, 255, 255, 200, 10,  10,  128, 0, 0, 0,   0,
                                          10,  200, 90,  30,  255, 255, 255, 200, 0, 0, 255, 255}};
  Loaded bitmap(add(encodePng(picture)));
  auto render = [&](int how) {
    HeadlessSurface surface(6, 5);
    paintGround(surface);
    CDrawContext context(nullptr, &surface, nullptr);
    const CRect where(1, 1, 4, 3);
    if (how == 0) bitmap->draw(&context, where);
    if (how == 1) bitmap->drawTransparent(&context, where);
    if (how == 2) bitmap->drawAlphaBlend(&context, where, CPoint(), 255);
    return imageBytes(surface.image());
  };
  const auto blended = render(2);
  EXPECT_EQ(render(0), blended);
  EXPECT_EQ(render(1), blended);  // white is not left out: the picture has alpha

  HeadlessSurface ground(6, 5);
  paintGround(ground);
  EXPECT_NE(imageBytes(ground.image()), blended);
}

TEST_F(BitmapTest, OpacityScalesTheBlend) {
  Loaded bitmap(add(encodePng({1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {255, 255, 255, 255}})));
  HeadlessSurface surface(1, 1);
  CDrawContext context(nullptr, &surface, nullptr);
  *surface.image().at(0, 0) = {0, 0, 0, 255};
  bitmap->drawAlphaBlend(&context, CRect(0, 0, 1, 1), CPoint(), 128);
  const raster::Pixel p = surface.image().pixel(0, 0);
  EXPECT_NEAR(p.red, 127, 1);
  EXPECT_EQ(p.alpha, 255);
  bitmap->drawAlphaBlend(&context, CRect(0, 0, 1, 1), CPoint(), 0);
  EXPECT_EQ(surface.image().pixel(0, 0), p);
}

TEST_F(BitmapTest, BlocksOutsideThePictureReadNothingOutside) {
  Loaded bitmap(add(encodePng({2, 2, PNG_COLOR_TYPE_RGB, 8, {255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0}})));
  HeadlessSurface surface(8, 8);
  CDrawContext context(nullptr, &surface, nullptr);
  bitmap->draw(&context, CRect(0, 0, 8, 8),
               CPoint(-1, 1));  // only column 1..2 and row 0 of the block overlap
  int changed = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) changed += surface.image().pixel(x, y) != raster::Pixel{};
  EXPECT_EQ(changed, 2);
  EXPECT_EQ(surface.image().pixel(1, 0), (raster::Pixel{0, 0, 254, 255}));
  bitmap->draw(&context, CRect(-5, -5, 3, 3), CPoint(100000, -100000));
  bitmap->drawAlphaBlend(&context, CRect(0, 0, 1 << 30, 1 << 30), CPoint(-(1 << 30), 0), 200);
}

TEST_F(BitmapTest, DisposeAndLoadFromPathLeaveItEmpty) {
  Loaded bitmap(128);
  bitmap->dispose();
  EXPECT_EQ(bitmap->getWidth(), 0);
  EXPECT_EQ(bitmap->getHeight(), 0);
  EXPECT_EQ(bitmap->getImage(), nullptr);
  HeadlessSurface surface(4, 4);
  CDrawContext context(nullptr, &surface, nullptr);
  bitmap->draw(&context, CRect(0, 0, 4, 4));
  bitmap->drawTransparent(&context, CRect(0, 0, 4, 4));
  bitmap->drawAlphaBlend(&context, CRect(0, 0, 4, 4), CPoint(), 255);
  EXPECT_EQ(surface.image().pixel(1, 1), raster::Pixel{});

  EXPECT_TRUE(bitmap->loadFromResource(129));
  EXPECT_EQ(bitmap->getHeight(), 6000);
  EXPECT_FALSE(bitmap->loadFromPath("resources/knob.png"));
  EXPECT_EQ(bitmap->getWidth(), 0);
  EXPECT_EQ(bitmap->getImage(), nullptr);
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
  HeadlessSurface surface(2, 1);
  CDrawContext context(nullptr, &surface, nullptr);
  classic->drawTransparent(&context, CRect(0, 0, 2, 1));  // pure white is left out
  EXPECT_EQ(surface.image().pixel(0, 0), raster::Pixel{});
  EXPECT_EQ(surface.image().pixel(1, 0), (raster::Pixel{100, 100, 100, 255}));
  classic->draw(&context, CRect(0, 0, 2, 1));  // a plain copy
  EXPECT_EQ(surface.image().pixel(0, 0), (raster::Pixel{255, 255, 255, 255}));

  // A PNG of the same number wins.
  platform::registerClassicBitmap(128, pixels);
  Loaded png(128);
  EXPECT_EQ(png->getWidth(), 328);
  EXPECT_FALSE(png->getNoAlpha());
}

TEST_F(BitmapTest, MissingResourceFails) {
  Loaded bitmap(4321);
  EXPECT_EQ(bitmap->getWidth(), 0);
  EXPECT_FALSE(bitmap->loadFromResource(4321));
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
    const std::uint16_t number = add(bytes);
    Loaded bitmap(number);
    EXPECT_EQ(bitmap->getWidth(), side) << bytes.size() << " bytes";
    EXPECT_EQ(bitmap->getHeight(), side) << bytes.size() << " bytes";
    EXPECT_EQ(bitmap->getImage(), nullptr) << bytes.size() << " bytes";
    EXPECT_EQ(bitmap->loadFromResource(number), side != 0) << bytes.size() << " bytes";
  }
}
