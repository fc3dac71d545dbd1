// Small PNG files made on the spot, and a helper to read back what a surface shows.
#pragma once

#include <png.h>

#include <cstdint>
#include <vector>

#include "platform/raster/image.h"

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

inline bool sameColor(raster::Pixel p, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return p.red == r && p.green == g && p.blue == b;
}

}  // namespace testing_pictures
