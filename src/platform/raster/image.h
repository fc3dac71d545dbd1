// Pixel buffers and the drawing operations over them. Pixels are four bytes, blue, green, red,
// alpha, colour premultiplied by alpha. Coordinates are always top-down; only the memory order of
// the rows depends on whether an image is bottom-up. Every operation is clipped to the clip
// rectangle and to both images' bounds and never touches memory outside them.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/surface.h"

namespace raster {

using platform::Point;
using platform::Rect;

struct Pixel {
  std::uint8_t blue = 0, green = 0, red = 0, alpha = 0;
  bool operator==(const Pixel&) const = default;
};

inline Pixel opaque(platform::Color c) { return {c.blue, c.green, c.red, 255}; }

class Image {
 public:
  Image(int width, int height, bool bottomUp);
  Image(const Image& other);
  Image(Image&&) = default;
  Image& operator=(Image&&) = default;
  int width() const { return width_; }
  int height() const { return height_; }
  int rowBytes() const { return width_ * 4; }
  bool bottomUp() const { return bottomUp_; }
  Rect bounds() const { return {0, 0, width_, height_}; }
  std::size_t byteCount() const { return static_cast<std::size_t>(width_) * height_ * 4; }

  std::uint8_t* memoryRow(int index) { return bytes_.get() + static_cast<std::size_t>(index) * rowBytes(); }
  const std::uint8_t* memoryRow(int index) const {
    return bytes_.get() + static_cast<std::size_t>(index) * rowBytes();
  }
  // Pixel at (x, y) from the top-left corner; the caller keeps (x, y) inside.
  Pixel* at(int x, int y) { return reinterpret_cast<Pixel*>(memoryRow(rowIndex(y))) + x; }
  const Pixel* at(int x, int y) const { return reinterpret_cast<const Pixel*>(memoryRow(rowIndex(y))) + x; }
  Pixel pixel(int x, int y) const { return *at(x, y); }

 private:
  int rowIndex(int y) const { return bottomUp_ ? height_ - 1 - y : y; }
  int width_;
  int height_;
  bool bottomUp_;
  struct Free {
    void operator()(std::uint8_t* bytes) const { std::free(bytes); }
  };
  // Zeroed by calloc, which leaves memory fresh from the system untouched until it is drawn into:
  // a large picture costs no pass of zeros before its decoder writes every byte.
  std::unique_ptr<std::uint8_t[], Free> bytes_;
};

static_assert(sizeof(Pixel) == 4);

Rect intersect(const Rect& a, const Rect& b);
bool isEmpty(const Rect& r);
// The smallest rectangle holding both; an empty one adds nothing.
Rect unite(const Rect& a, const Rect& b);

void fill(Image& image, const Rect& clip, const Rect& rect, Pixel color);
// A one-pixel solid line from `from` to `to`, the end pixel left out. A wider pen paints a square
// of the width around each pixel of the one-pixel path.
void line(Image& image, const Rect& clip, Point from, Point to, Pixel color, int width);

// Block transfers of to.width() x to.height() pixels from `from` in the source to to's top-left
// corner. Pixels whose source lies outside the source image are left alone.
void copy(Image& destination, const Rect& clip, const Rect& to, const Image& source, Point from);
void copyTransparent(Image& destination, const Rect& clip, const Rect& to, const Image& source, Point from,
                     platform::Color transparent);
void alphaBlend(Image& destination, const Rect& clip, const Rect& to, const Image& source, Point from,
                std::uint8_t opacity, bool perPixelAlpha);

}  // namespace raster
