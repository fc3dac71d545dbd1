#include "platform/raster/surface.h"

#include <algorithm>

#include "platform/raster/text.h"

namespace raster {

using namespace platform;

RasterSurface::RasterSurface(Image& image) : image_(image), clip_(image.bounds()) {}

RasterSurface::RasterSurface(Image& image, const Rect& clip) : image_(image), clip_(clip) {}

RasterSurface::RasterSurface(int width, int height)
    : owned_(std::make_unique<Image>(width, height, false)), image_(*owned_), clip_(image_.bounds()) {}

void RasterSurface::saveObjects() {
  saved_ = state_;
  hasSaved_ = true;
}

void RasterSurface::restoreObjects() {
  if (!hasSaved_) return;
  state_.penColor = saved_.penColor;
  state_.penWidth = saved_.penWidth;
  state_.brushColor = saved_.brushColor;
  state_.font = saved_.font;
}

void RasterSurface::createPen(Color color, int width) {
  ++counters_.pensCreated;
  state_.penColor = color;
  state_.penWidth = width;
}

bool RasterSurface::createBrush(Color color) {
  if (failBrushes_) return false;
  ++counters_.brushesCreated;
  state_.brushColor = color;
  return true;
}

void RasterSurface::createFont(const FontDescription& font) {
  ++counters_.fontsCreated;
  state_.font = font;
}

void RasterSurface::setClip(const Rect& clip) {
  ++counters_.clipsApplied;
  clip_ = clip;
}

void RasterSurface::setTextColor(Color color) {
  ++counters_.textColorsSet;
  state_.textColor = color;
}

void RasterSurface::setBackgroundColor(Color color) { state_.backgroundColor = color; }
void RasterSurface::setBackgroundMode(BackgroundMode mode) { state_.backgroundMode = mode; }
void RasterSurface::setCopyMode() { state_.copyMode = true; }
void RasterSurface::moveTo(Point point) { state_.position = point; }

void RasterSurface::lineTo(Point point) {
  const int pen = std::max(state_.penWidth, 1);
  touch({std::min(point.x, state_.position.x) - pen, std::min(point.y, state_.position.y) - pen,
         std::max(point.x, state_.position.x) + pen + 1, std::max(point.y, state_.position.y) + pen + 1});
  line(image_, clip_, state_.position, point, opaque(state_.penColor), state_.penWidth);
  state_.position = point;
}

void RasterSurface::fillRect(const Rect& rect) {
  touch(rect);
  fill(image_, clip_, rect, opaque(state_.brushColor));
}

void RasterSurface::drawText(std::string_view text, const Rect& rect, TextAlign align) {
  const TextStyle style{state_.font, opaque(state_.textColor),
                        state_.backgroundMode == BackgroundMode::opaque, opaque(state_.backgroundColor)};
  touch(rect);
  raster::drawText(image_, clip_, rect, text, style, align);
}

// Every surface and bitmap of a build comes from the same backend.
void RasterSurface::copyFrom(const Surface& source, Point from, const Rect& to) {
  touch(to);
  copy(image_, clip_, to, static_cast<const RasterSurface&>(source).image_, from);
}

void RasterSurface::copyBitmap(const Bitmap& source, Point from, const Rect& to) {
  touch(to);
  copy(image_, clip_, to, static_cast<const RasterBitmap&>(source).image(), from);
}

// Both methods give the same pixels here.
void RasterSurface::copyBitmapTransparent(const Bitmap& source, Point from, const Rect& to, Color transparent,
                                          bool /*platformCopy*/) {
  touch(to);
  copyTransparent(image_, clip_, to, static_cast<const RasterBitmap&>(source).image(), from, transparent);
}

void RasterSurface::alphaBlendBitmap(const Bitmap& source, Point from, const Rect& to, std::uint8_t opacity,
                                     bool perPixelAlpha) {
  touch(to);
  alphaBlend(image_, clip_, to, static_cast<const RasterBitmap&>(source).image(), from, opacity,
             perPixelAlpha);
}

void RasterSurface::touch(const Rect& rect) {
  const Rect r = intersect(intersect(rect, clip_), image_.bounds());
  touched_ = unite(touched_, r);
}

}  // namespace raster

// The memory surfaces and bitmaps of every backend that draws in software. Those whose size would not
// fit a process are refused, as a platform would.
namespace platform {
namespace {
constexpr long long kMaxPixels = 1ll << 28;
bool plausible(int width, int height) {
  return width >= 0 && height >= 0 && static_cast<long long>(width) * height <= kMaxPixels;
}
}  // namespace

std::unique_ptr<Bitmap> createBitmap(int width, int height) {
  if (!plausible(width, height)) return nullptr;
  return std::make_unique<raster::RasterBitmap>(width, height);
}

std::unique_ptr<Bitmap> copyBitmap(const Bitmap& source) {
  return std::make_unique<raster::RasterBitmap>(static_cast<const raster::RasterBitmap&>(source));
}

std::unique_ptr<Surface> createMemorySurface(const Surface* /*compatibleWith*/, int width, int height) {
  if (!plausible(width, height)) return nullptr;
  return std::make_unique<raster::RasterSurface>(width, height);
}

}  // namespace platform
