#include "platform/raster/image.h"

#include <algorithm>
#include <cstdlib>

namespace raster {

Image::Image(int width, int height, bool bottomUp)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      bottomUp_(bottomUp),
      bytes_(static_cast<std::size_t>(width_) * height_ * 4) {}

Rect intersect(const Rect& a, const Rect& b) {
  Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

bool isEmpty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

Rect unite(const Rect& a, const Rect& b) {
  if (isEmpty(a)) return b;
  if (isEmpty(b)) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

void fill(Image& image, const Rect& clip, const Rect& rect, Pixel color) {
  Rect r = intersect(intersect(rect, clip), image.bounds());
  for (int y = r.top; y < r.bottom; ++y)
    std::fill(image.at(r.left, y), image.at(r.left, y) + r.width(), color);
}

void line(Image& image, const Rect& clip, Point from, Point to, Pixel color, int width) {
  const Rect limit = intersect(clip, image.bounds());
  const int pen = std::max(width, 1);
  const int before = (pen - 1) / 2;
  auto plot = [&](long x, long y) {
    Rect dot{static_cast<int>(x) - before, static_cast<int>(y) - before, static_cast<int>(x) - before + pen,
             static_cast<int>(y) - before + pen};
    Rect r = intersect(dot, limit);
    for (int py = r.top; py < r.bottom; ++py)
      for (int px = r.left; px < r.right; ++px) *image.at(px, py) = color;
  };
  // Bresenham over 64-bit steps so far-away end points cannot overflow.
  long x = from.x, y = from.y;
  const long dx = std::labs(static_cast<long>(to.x) - from.x),
             dy = -std::labs(static_cast<long>(to.y) - from.y);
  const long sx = from.x < to.x ? 1 : -1, sy = from.y < to.y ? 1 : -1;
  long error = dx + dy;
  while (x != to.x || y != to.y) {
    plot(x, y);
    const long twice = 2 * error;
    if (twice >= dy) {
      error += dy;
      x += sx;
    }
    if (twice <= dx) {
      error += dx;
      y += sy;
    }
  }
}

namespace {

// The part of the block that lies inside the clip, the destination and the source, as a destination
// rectangle and the source position of its top-left corner.
struct Block {
  Rect to;
  Point from;
};

Block clipBlock(const Image& destination, const Rect& clip, const Rect& to, const Image& source, Point from) {
  Rect sourceArea{from.x, from.y, from.x + to.width(), from.y + to.height()};
  sourceArea = intersect(sourceArea, source.bounds());
  Rect r{sourceArea.left - from.x + to.left, sourceArea.top - from.y + to.top,
         sourceArea.right - from.x + to.left, sourceArea.bottom - from.y + to.top};
  r = intersect(intersect(intersect(r, to), clip), destination.bounds());
  return {r, {from.x + (r.left - to.left), from.y + (r.top - to.top)}};
}

template <typename Op>
void forEachPixel(Image& destination, const Rect& clip, const Rect& to, const Image& source, Point from,
                  Op op) {
  if (to.width() <= 0 || to.height() <= 0) return;
  const Block b = clipBlock(destination, clip, to, source, from);
  for (int y = 0; y < b.to.height(); ++y) {
    Pixel* d = destination.at(b.to.left, b.to.top + y);
    const Pixel* s = source.at(b.from.x, b.from.y + y);
    for (int x = 0; x < b.to.width(); ++x) op(d[x], s[x]);
  }
}

// x * a / 255, rounded to nearest.
inline std::uint8_t scale(unsigned x, unsigned a) {
  const unsigned t = x * a + 128;
  return static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
}

}  // namespace

void copy(Image& destination, const Rect& clip, const Rect& to, const Image& source, Point from) {
  // Overlapping copies within one image go through a copy of the source.
  if (&destination == &source) {
    const Image snapshot = source;
    forEachPixel(destination, clip, to, snapshot, from, [](Pixel& d, const Pixel& s) { d = s; });
    return;
  }
  forEachPixel(destination, clip, to, source, from, [](Pixel& d, const Pixel& s) { d = s; });
}

void copyTransparent(Image& destination, const Rect& clip, const Rect& to, const Image& source, Point from,
                     platform::Color transparent) {
  forEachPixel(destination, clip, to, source, from, [&](Pixel& d, const Pixel& s) {
    if (s.red != transparent.red || s.green != transparent.green || s.blue != transparent.blue) d = s;
  });
}

void alphaBlend(Image& destination, const Rect& clip, const Rect& to, const Image& source, Point from,
                std::uint8_t opacity, bool perPixelAlpha) {
  forEachPixel(destination, clip, to, source, from, [&](Pixel& d, const Pixel& s) {
    const Pixel src = perPixelAlpha ? Pixel{scale(s.blue, opacity), scale(s.green, opacity),
                                            scale(s.red, opacity), scale(s.alpha, opacity)}
                                    : Pixel{scale(s.blue, opacity), scale(s.green, opacity),
                                            scale(s.red, opacity), opacity};
    const unsigned keep = 255u - src.alpha;
    // A source that is not really premultiplied saturates instead of wrapping.
    auto over = [keep](unsigned s, unsigned d) {
      return static_cast<std::uint8_t>(std::min(255u, s + scale(d, keep)));
    };
    d.blue = over(src.blue, d.blue);
    d.green = over(src.green, d.green);
    d.red = over(src.red, d.red);
    d.alpha = over(src.alpha, d.alpha);
  });
}

}  // namespace raster
