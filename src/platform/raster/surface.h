// Surfaces drawn in software into raster images: the memory surfaces and bitmaps of the backends
// that draw their own pixels, and their window surfaces. Their state is open to inspection so tests
// can see what the toolkit asked for.
#pragma once

#include <memory>

#include "platform/raster/image.h"
#include "platform/surface.h"

namespace raster {

// Copies share their pixels until one of them is written: a copy's first write makes it pixels of
// its own.
class RasterBitmap final : public platform::Bitmap {
 public:
  RasterBitmap(int width, int height) : image_(std::make_shared<Image>(width, height, true)) {}
  RasterBitmap(const RasterBitmap&) = default;
  int width() const override { return image_->width(); }
  int height() const override { return image_->height(); }
  int rowBytes() const override { return image_->rowBytes(); }
  std::uint8_t* memoryRow(int index) override { return image().memoryRow(index); }
  const std::uint8_t* memoryRow(int index) const override { return image_->memoryRow(index); }
  Image& image() {
    if (image_.use_count() > 1) image_ = std::make_shared<Image>(*image_);
    return *image_;
  }
  const Image& image() const { return *image_; }

 private:
  std::shared_ptr<Image> image_;
};

struct SurfaceState {
  platform::Color penColor;  // the stock black pen of a fresh surface
  int penWidth = 1;
  platform::Color brushColor{255, 255, 255};
  platform::FontDescription font{"System", 16, 700, false, false, 0};
  platform::Color textColor;
  platform::Color backgroundColor{255, 255, 255};
  platform::BackgroundMode backgroundMode = platform::BackgroundMode::opaque;
  bool copyMode = true;
  Point position;
};

class RasterSurface final : public platform::Surface {
 public:
  // Draws into `image`, which must outlive the surface.
  explicit RasterSurface(Image& image);
  // The same, limited to `clip` from the start, as a paint of a damaged area is.
  RasterSurface(Image& image, const Rect& clip);
  // A memory surface with an image of its own (top-down, like a device bitmap), black at start.
  RasterSurface(int width, int height);

  void saveObjects() override;
  void restoreObjects() override;
  void createPen(platform::Color color, int width) override;
  bool createBrush(platform::Color color) override;
  void createFont(const platform::FontDescription& font) override;
  void setClip(const Rect& clip) override;
  void setTextColor(platform::Color color) override;
  void setBackgroundColor(platform::Color color) override;
  void setBackgroundMode(platform::BackgroundMode mode) override;
  void setCopyMode() override;
  void moveTo(Point point) override;
  void lineTo(Point point) override;
  void fillRect(const Rect& rect) override;
  void drawText(std::string_view text, const Rect& rect, platform::TextAlign align) override;
  void copyFrom(const platform::Surface& source, Point from, const Rect& to) override;
  void copyBitmap(const platform::Bitmap& source, Point from, const Rect& to) override;
  void copyBitmapTransparent(const platform::Bitmap& source, Point from, const Rect& to,
                             platform::Color transparent, bool platformCopy) override;
  void alphaBlendBitmap(const platform::Bitmap& source, Point from, const Rect& to, std::uint8_t opacity,
                        bool perPixelAlpha) override;
  const platform::SurfaceCounters& counters() const override { return counters_; }

  const SurfaceState& state() const { return state_; }
  const Rect& clip() const { return clip_; }
  Image& image() { return image_; }
  const Image& image() const { return image_; }
  // Tests make brush creation fail to see how the toolkit copes.
  void failBrushCreation(bool fail) { failBrushes_ = fail; }
  // The part of the image the drawing so far may have changed (empty when nothing was drawn): what a
  // window surface must show once it is given back.
  const Rect& touched() const { return touched_; }

 private:
  void touch(const Rect& rect);

  std::unique_ptr<Image> owned_;
  Image& image_;
  SurfaceState state_;
  SurfaceState saved_;
  bool hasSaved_ = false;
  Rect clip_;
  platform::SurfaceCounters counters_;
  bool failBrushes_ = false;
  Rect touched_;
};

}  // namespace raster
