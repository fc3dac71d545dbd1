// Surfaces without a display: memory surfaces and the surfaces of headless windows, drawing into
// raster images. Their state is open to inspection so tests can see what the toolkit asked for.
#pragma once

#include "platform/raster/image.h"
#include "platform/surface.h"

namespace platform::headless {

class HeadlessBitmap final : public Bitmap {
 public:
  HeadlessBitmap(int width, int height) : image_(width, height, true) {}
  int width() const override { return image_.width(); }
  int height() const override { return image_.height(); }
  int rowBytes() const override { return image_.rowBytes(); }
  std::uint8_t* memoryRow(int index) override { return image_.memoryRow(index); }
  const std::uint8_t* memoryRow(int index) const override { return image_.memoryRow(index); }
  raster::Image& image() { return image_; }
  const raster::Image& image() const { return image_; }

 private:
  raster::Image image_;
};

struct SurfaceState {
  Color penColor;  // the stock black pen of a fresh surface
  int penWidth = 1;
  Color brushColor{255, 255, 255};
  FontDescription font{"System", 16, 700, false, false, 0};
  Color textColor;
  Color backgroundColor{255, 255, 255};
  BackgroundMode backgroundMode = BackgroundMode::opaque;
  bool copyMode = true;
  Point position;
};

class HeadlessSurface final : public Surface {
 public:
  // Draws into `image`, which must outlive the surface.
  explicit HeadlessSurface(raster::Image& image);
  // The same, limited to `clip` from the start, as a paint of a damaged area is.
  HeadlessSurface(raster::Image& image, const Rect& clip);
  // A memory surface with an image of its own (top-down, like a device bitmap), black at start.
  HeadlessSurface(int width, int height);

  void saveObjects() override;
  void restoreObjects() override;
  void createPen(Color color, int width) override;
  bool createBrush(Color color) override;
  void createFont(const FontDescription& font) override;
  void setClip(const Rect& clip) override;
  void setTextColor(Color color) override;
  void setBackgroundColor(Color color) override;
  void setBackgroundMode(BackgroundMode mode) override;
  void setCopyMode() override;
  void moveTo(Point point) override;
  void lineTo(Point point) override;
  void fillRect(const Rect& rect) override;
  void drawText(std::string_view text, const Rect& rect, TextAlign align) override;
  void copyFrom(const Surface& source, Point from, const Rect& to) override;
  void copyBitmap(const Bitmap& source, Point from, const Rect& to) override;
  void copyBitmapTransparent(const Bitmap& source, Point from, const Rect& to, Color transparent,
                             bool platformCopy) override;
  void alphaBlendBitmap(const Bitmap& source, Point from, const Rect& to, std::uint8_t opacity,
                        bool perPixelAlpha) override;
  const SurfaceCounters& counters() const override { return counters_; }

  const SurfaceState& state() const { return state_; }
  const Rect& clip() const { return clip_; }
  raster::Image& image() { return image_; }
  const raster::Image& image() const { return image_; }
  // Tests make brush creation fail to see how the toolkit copes.
  void failBrushCreation(bool fail) { failBrushes_ = fail; }

 private:
  std::unique_ptr<raster::Image> owned_;
  raster::Image& image_;
  SurfaceState state_;
  SurfaceState saved_;
  bool hasSaved_ = false;
  Rect clip_;
  SurfaceCounters counters_;
  bool failBrushes_ = false;
};

}  // namespace platform::headless
