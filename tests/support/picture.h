// Pictures as the tests see them: RGB rows, top-down, read from and written to PNG files. Built
// for Linux and for Windows alike (paths are the system's own).
#pragma once

#include <png.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pictures {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;

  const std::uint8_t* at(int x, int y) const {
    return rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
  }
  bool operator==(const Picture&) const = default;
  // The part at (left, top) of the size given; black where it lies outside.
  Picture crop(int left, int top, int w, int h) const {
    Picture part{w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h * 3)};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (left + x >= 0 && left + x < width && top + y >= 0 && top + y < height)
          for (int c = 0; c < 3; ++c)
            part.rgb[(static_cast<std::size_t>(y) * w + x) * 3 + c] = at(left + x, top + y)[c];
    return part;
  }
};

// An empty picture when the file cannot be read.
inline Picture readPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Picture picture;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return picture;
  image.format = PNG_FORMAT_RGB;
  picture.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr)) return {};
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  return picture;
}

inline bool writePng(const Picture& picture, const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, path.c_str(), 0, picture.rgb.data(), 0, nullptr) != 0;
}

}  // namespace pictures
