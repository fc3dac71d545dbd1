#include "platform/headless/surface.h"

#include "platform/raster/text.h"

namespace platform::headless {

HeadlessSurface::HeadlessSurface(raster::Image& image) : image_(image), clip_(image.bounds()) {}

HeadlessSurface::HeadlessSurface(raster::Image& image, const Rect& clip) : image_(image), clip_(clip) {}

HeadlessSurface::HeadlessSurface(int width, int height)
    : owned_(std::make_unique<raster::Image>(width, height, false)), image_(*owned_), clip_(image_.bounds()) {}

void HeadlessSurface::saveObjects() {
  saved_ = state_;
  hasSaved_ = true;
}

void HeadlessSurface::restoreObjects() {
  if (!hasSaved_) return;
  state_.penColor = saved_.penColor;
  state_.penWidth = saved_.penWidth;
  state_.brushColor = saved_.brushColor;
  state_.font = saved_.font;
}

void HeadlessSurface::createPen(Color color, int width) {
  ++counters_.pensCreated;
  state_.penColor = color;
  state_.penWidth = width;
}

bool HeadlessSurface::createBrush(Color color) {
  if (failBrushes_) return false;
  ++counters_.brushesCreated;
  state_.brushColor = color;
  return true;
}

void HeadlessSurface::createFont(const FontDescription& font) {
  ++counters_.fontsCreated;
  state_.font = font;
}

void HeadlessSurface::setClip(const Rect& clip) {
  ++counters_.clipsApplied;
  clip_ = clip;
}

void HeadlessSurface::setTextColor(Color color) {
  ++counters_.textColorsSet;
  state_.textColor = color;
}

void HeadlessSurface::setBackgroundColor(Color color) { state_.backgroundColor = color; }
void HeadlessSurface::setBackgroundMode(BackgroundMode mode) { state_.backgroundMode = mode; }
void HeadlessSurface::setCopyMode() { state_.copyMode = true; }
void HeadlessSurface::moveTo(Point point) { state_.position = point; }

void HeadlessSurface::lineTo(Point point) {
  raster::line(image_, clip_, state_.position, point, raster::opaque(state_.penColor), state_.penWidth);
  state_.position = point;
}

void HeadlessSurface::fillRect(const Rect& rect) {
  raster::fill(image_, clip_, rect, raster::opaque(state_.brushColor));
}

void HeadlessSurface::drawText(std::string_view text, const Rect& rect, TextAlign align) {
  const raster::TextStyle style{state_.font, raster::opaque(state_.textColor),
                                state_.backgroundMode == BackgroundMode::opaque,
                                raster::opaque(state_.backgroundColor)};
  raster::drawText(image_, clip_, rect, text, style, align);
}

// Every surface and bitmap of a build comes from the same backend.
void HeadlessSurface::copyFrom(const Surface& source, Point from, const Rect& to) {
  raster::copy(image_, clip_, to, static_cast<const HeadlessSurface&>(source).image_, from);
}

void HeadlessSurface::copyBitmap(const Bitmap& source, Point from, const Rect& to) {
  raster::copy(image_, clip_, to, static_cast<const HeadlessBitmap&>(source).image(), from);
}

// Both methods give the same pixels here.
void HeadlessSurface::copyBitmapTransparent(const Bitmap& source, Point from, const Rect& to, Color transparent,
                                            bool /*platformCopy*/) {
  raster::copyTransparent(image_, clip_, to, static_cast<const HeadlessBitmap&>(source).image(), from,
                          transparent);
}

void HeadlessSurface::alphaBlendBitmap(const Bitmap& source, Point from, const Rect& to, std::uint8_t opacity,
                                       bool perPixelAlpha) {
  raster::alphaBlend(image_, clip_, to, static_cast<const HeadlessBitmap&>(source).image(), from, opacity,
                     perPixelAlpha);
}

}  // namespace platform::headless

namespace platform {

// Memory surfaces and bitmaps whose size would not fit a process are refused, as a platform would.
namespace {
constexpr long long kMaxPixels = 1ll << 28;
bool plausible(int width, int height) {
  return width >= 0 && height >= 0 && static_cast<long long>(width) * height <= kMaxPixels;
}
}  // namespace

std::unique_ptr<Bitmap> createBitmap(int width, int height) {
  if (!plausible(width, height)) return nullptr;
  return std::make_unique<headless::HeadlessBitmap>(width, height);
}

std::unique_ptr<Surface> createMemorySurface(const Surface* /*compatibleWith*/, int width, int height) {
  if (!plausible(width, height)) return nullptr;
  return std::make_unique<headless::HeadlessSurface>(width, height);
}

}  // namespace platform
