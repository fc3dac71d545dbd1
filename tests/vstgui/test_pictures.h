// Small PNG files made on the spot, and a surface of the test's own to draw on and read back.
#pragma once

#include <png.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/headless/surface.h"
#include "platform/raster/image.h"
#include "vstgui/cdrawcontext.h"

namespace testing_pictures {

struct PngPicture {
  int width = 1;
  int height = 1;
  int colorType = PNG_COLOR_TYPE_RGB_ALPHA;
  int bitDepth = 8;
  std::vector<std::uint8_t> samples;       // rows top-down, packed as the colour type says
  std::vector<png_color> palette;          // colour type 3
  std::vector<std::uint8_t> paletteAlpha;  // tRNS for palette images
  bool interlaced = false;
};

inline std::vector<std::uint8_t> encodePng(const PngPicture& picture) {
  std::vector<std::uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, png_size_t n) {
        auto* v = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
        v->insert(v->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, picture.width, picture.height, picture.bitDepth, picture.colorType,
               picture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!picture.palette.empty())
    png_set_PLTE(png, info, picture.palette.data(), static_cast<int>(picture.palette.size()));
  if (!picture.paletteAlpha.empty())
    png_set_tRNS(png, info, picture.paletteAlpha.data(), static_cast<int>(picture.paletteAlpha.size()),
                 nullptr);
  png_write_info(png, info);
  if (picture.bitDepth == 16) png_set_swap(png);  // samples are given little-endian
  const std::size_t rowBytes = picture.samples.size() / picture.height;
  std::vector<png_bytep> rows;
  for (int y = 0; y < picture.height; ++y)
    rows.push_back(const_cast<png_bytep>(picture.samples.data() + y * rowBytes));
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// Every byte of an image's rows: two drawings are the same when these are.
inline std::vector<std::uint8_t> imageBytes(const raster::Image& image) {
  std::vector<std::uint8_t> bytes;
  for (int y = 0; y < image.height(); ++y)
    bytes.insert(bytes.end(), image.memoryRow(y), image.memoryRow(y) + image.rowBytes());
  return bytes;
}

// The pixels that pass a test (by default: every pixel a drawing changed on a surface that started
// all zero) and their bounding box, edges inclusive; left > right when there are none.
struct Coverage {
  int count = 0;
  VSTGUI::CRect box{1 << 20, 1 << 20, -1, -1};
};
template <typename Test>
Coverage coverage(const raster::Image& image, Test test) {
  Coverage c;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (test(image.pixel(x, y))) {
        ++c.count;
        c.box = {std::min(c.box.left, x), std::min(c.box.top, y), std::max(c.box.right, x),
                 std::max(c.box.bottom, y)};
      }
  return c;
}
inline Coverage coverage(const raster::Image& image) {
  return coverage(image, [](raster::Pixel p) { return p != raster::Pixel{}; });
}

// A memory surface, all zero, with a context on it as a view meets one.
struct Canvas {
  Canvas(int width, int height) : surface(width, height) {}
  // Paints the whole surface in one colour first.
  Canvas(int width, int height, VSTGUI::CColor ground) : surface(width, height) {
    context.setFillColor(ground);
    context.fillRect(VSTGUI::CRect(-1, -1, width, height));
  }
  const raster::Image& image() const { return surface.image(); }
  raster::Pixel at(int x, int y) const { return surface.image().pixel(x, y); }
  std::vector<std::uint8_t> bytes() const { return imageBytes(surface.image()); }

  platform::headless::HeadlessSurface surface;
  VSTGUI::CDrawContext context{nullptr, &surface, nullptr};
};

}  // namespace testing_pictures
