#include <gtest/gtest.h>

#include "platform/raster/image.h"

using raster::Image;
using raster::Pixel;

namespace {
const Pixel kWhite{255, 255, 255, 255};
int countSet(const Image& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) != Pixel{};
  return n;
}
}  // namespace

TEST(Raster, LinesInEveryDirectionLeaveOutTheEnd) {
  const platform::Rect all{0, 0, 20, 20};
  const std::pair<platform::Point, platform::Point> lines[] = {{{10, 10}, {15, 10}},
                                                               {{10, 10}, {5, 10}},
                                                               {{10, 10}, {10, 16}},
                                                               {{10, 10}, {4, 4}},
                                                               {{10, 10}, {13, 17}}};
  for (const auto& [from, to] : lines) {
    Image image(20, 20, false);
    raster::line(image, all, from, to, kWhite, 1);
    EXPECT_EQ(image.pixel(from.x, from.y), kWhite);
    EXPECT_EQ(image.pixel(to.x, to.y), Pixel{});
    EXPECT_EQ(countSet(image), std::max(std::abs(to.x - from.x), std::abs(to.y - from.y)));
  }
}

TEST(Raster, EverythingStaysInsideClipAndImage) {
  Image image(10, 10, false);
  const platform::Rect clip{2, 2, 6, 6};
  raster::fill(image, clip, {-100, -100, 100, 100}, kWhite);
  raster::line(image, clip, {-50, 3}, {50, 3}, kWhite, 1);
  EXPECT_EQ(countSet(image), 16);
  raster::fill(image, {-5, -5, 50, 50}, {8, 8, 30, 30}, kWhite);
  EXPECT_EQ(countSet(image), 20);

  Image source(4, 4, true);
  raster::fill(source, source.bounds(), source.bounds(), kWhite);
  Image target(10, 10, false);
  raster::copy(target, target.bounds(), {8, 8, 20, 20}, source, {2, 2});
  EXPECT_EQ(countSet(target), 4);  // two columns of source left, two of target
  raster::alphaBlend(target, target.bounds(), {-3, -3, 3, 3}, source, {-1, -1}, 255, true);
  EXPECT_EQ(countSet(target), 4 + 4);  // only the 2 x 2 corner overlaps both images
}

// Pixel 0 is half-covering red over blue (without per-pixel alpha only the constant opacity counts);
// the others of every sort. A row blends each pixel as the pixel does on its own.
TEST(Raster, PremultipliedSourceOver) {
  Image source(64, 1, false), ground(64, 1, false);
  for (int x = 1; x < 64; ++x) {
    const auto a = static_cast<std::uint8_t>(x * 97 % 256);
    *source.at(x, 0) = {static_cast<std::uint8_t>(a * 2 / 3), static_cast<std::uint8_t>(a / 2), a, a};
    *ground.at(x, 0) = {static_cast<std::uint8_t>(x * 41), static_cast<std::uint8_t>(x * 9), 77, 200};
  }
  *source.at(0, 0) = {0, 0, 100, 128};
  *ground.at(0, 0) = {200, 0, 0, 255};
  for (const auto& [opacity, perPixelAlpha, first] : {std::tuple{255, true, Pixel{100, 0, 100, 255}},
                                                      {255, false, Pixel{0, 0, 100, 255}},
                                                      {128, true, Pixel{150, 0, 50, 255}},
                                                      {200, false, Pixel{43, 0, 78, 255}}}) {
    Image row = ground;
    raster::alphaBlend(row, row.bounds(), row.bounds(), source, {0, 0}, opacity, perPixelAlpha);
    EXPECT_EQ(row.pixel(0, 0), first) << "opacity " << opacity;
    for (int x = 0; x < 64; ++x) {
      Image alone = ground;
      raster::alphaBlend(alone, alone.bounds(), {x, 0, x + 1, 1}, source, {x, 0}, opacity, perPixelAlpha);
      EXPECT_EQ(row.pixel(x, 0), alone.pixel(x, 0)) << "pixel " << x << ", opacity " << opacity;
    }
  }
}
