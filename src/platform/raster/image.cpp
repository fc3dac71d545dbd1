#include "platform/raster/image.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace raster {

namespace {
constexpr std::size_t kPopulatedSize = std::size_t{1} << 20;
}  // namespace

Image::Image(int width, int height, bool bottomUp)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      bottomUp_(bottomUp),
      bytes_(static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(width_) * height_, 4))) {
  if (!bytes_ && width_ > 0 && height_ > 0) throw std::bad_alloc();
#ifdef MADV_POPULATE_WRITE
  // A picture this large (the knob strip) is written whole as soon as it is made: its pages are
  // asked for in one call rather than one fault at a time.
  const std::size_t size = byteCount();
  if (size >= kPopulatedSize) {
    const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(bytes_.get());
    const std::uintptr_t first = (start + page - 1) & ~(page - 1), end = (start + size) & ~(page - 1);
    madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);  // a hint: may fail
  }
#endif
}

Image::Image(const Image& other) : Image(other.width_, other.height_, other.bottomUp_) {
  std::memcpy(bytes_.get(), other.bytes_.get(), byteCount());
}

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

// Calls rowOp(destination pixels, source pixels, count) for each row of the clipped block.
template <typename RowOp>
void forEachRow(Image& destination, const Rect& clip, const Rect& to, const Image& source, Point from,
                RowOp rowOp) {
  if (to.width() <= 0 || to.height() <= 0) return;
  const Block b = clipBlock(destination, clip, to, source, from);
  for (int y = 0; y < b.to.height(); ++y)
    rowOp(destination.at(b.to.left, b.to.top + y), source.at(b.from.x, b.from.y + y), b.to.width());
}

// x * a / 255, rounded to nearest.
inline std::uint8_t scale(unsigned x, unsigned a) {
  const unsigned t = x * a + 128;
  return static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
}

// Source over destination, each channel min(255, s + scale(d, 255 - source alpha)) with the source
// scaled by the opacity first; a source that is not really premultiplied saturates instead of
// wrapping. Without per-pixel alpha the source's alpha counts as the opacity.
void blendPixel(Pixel& d, const Pixel& s, std::uint8_t opacity, bool perPixelAlpha) {
  const Pixel src{scale(s.blue, opacity), scale(s.green, opacity), scale(s.red, opacity),
                  perPixelAlpha ? scale(s.alpha, opacity) : opacity};
  const unsigned keep = 255u - src.alpha;
  auto over = [keep](unsigned s, unsigned d) {
    return static_cast<std::uint8_t>(std::min(255u, s + scale(d, keep)));
  };
  d = {over(src.blue, d.blue), over(src.green, d.green), over(src.red, d.red), over(src.alpha, d.alpha)};
}

#ifdef __SSE2__
// scale() on eight 16-bit lanes: every intermediate fits 16 bits, as it does above.
inline __m128i scale8(__m128i x, __m128i a) {
  const __m128i t = _mm_add_epi16(_mm_mullo_epi16(x, a), _mm_set1_epi16(128));
  return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

// blendPixel() on two pixels spread to 16-bit lanes; the saturating pack that follows takes the
// min(255, ...). The alpha lanes of the scaled source become the opacity where `constantAlpha` says.
inline __m128i blendTwo(__m128i s, __m128i d, __m128i opacity, __m128i constantAlpha) {
  const __m128i scaled = scale8(s, opacity);
  const __m128i src =
      _mm_or_si128(_mm_andnot_si128(constantAlpha, scaled), _mm_and_si128(constantAlpha, opacity));
  const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(src, 0xff), 0xff);
  return _mm_add_epi16(src, scale8(d, _mm_sub_epi16(_mm_set1_epi16(255), alpha)));
}
#endif

void blendRow(Pixel* d, const Pixel* s, int count, std::uint8_t opacity, bool perPixelAlpha) {
  int x = 0;
#ifdef __SSE2__
  // Four pixels at a time, bit for bit what blendPixel gives.
  const __m128i zero = _mm_setzero_si128();
  const __m128i factor = _mm_set1_epi16(opacity);
  const __m128i constantAlpha = perPixelAlpha ? zero : _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
  for (; x + 4 <= count; x += 4) {
    const __m128i s4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
    const __m128i d4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + x));
    const __m128i low =
        blendTwo(_mm_unpacklo_epi8(s4, zero), _mm_unpacklo_epi8(d4, zero), factor, constantAlpha);
    const __m128i high =
        blendTwo(_mm_unpackhi_epi8(s4, zero), _mm_unpackhi_epi8(d4, zero), factor, constantAlpha);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_packus_epi16(low, high));
  }
#endif
  for (; x < count; ++x) blendPixel(d[x], s[x], opacity, perPixelAlpha);
}

}  // namespace

void copy(Image& destination, const Rect& clip, const Rect& to, const Image& source, Point from) {
  auto copyRow = [](Pixel* d, const Pixel* s, int count) {
    std::memcpy(d, s, static_cast<std::size_t>(count) * sizeof(Pixel));
  };
  // Overlapping copies within one image go through a copy of the source.
  if (&destination == &source) {
    const Image snapshot = source;
    forEachRow(destination, clip, to, snapshot, from, copyRow);
    return;
  }
  forEachRow(destination, clip, to, source, from, copyRow);
}

void copyTransparent(Image& destination, const Rect& clip, const Rect& to, const Image& source, Point from,
                     platform::Color transparent) {
  forEachRow(destination, clip, to, source, from, [&](Pixel* d, const Pixel* s, int count) {
    for (int x = 0; x < count; ++x)
      if (s[x].red != transparent.red || s[x].green != transparent.green || s[x].blue != transparent.blue)
        d[x] = s[x];
  });
}

void alphaBlend(Image& destination, const Rect& clip, const Rect& to, const Image& source, Point from,
                std::uint8_t opacity, bool perPixelAlpha) {
  forEachRow(destination, clip, to, source, from,
             [&](Pixel* d, const Pixel* s, int count) { blendRow(d, s, count, opacity, perPixelAlpha); });
}

}  // namespace raster
