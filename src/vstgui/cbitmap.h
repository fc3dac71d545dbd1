// Pictures from the library's own resources: PNG images decoded into premultiplied 32-bit pixels
// (blue, green, red, alpha; rows bottom-up), or a classic bitmap resource of the same number.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/surface.h"
#include "vstgui/cbase.h"

namespace VSTGUI {

class CDrawContext;

class CBitmap : public CReferenceCounter {
 public:
  explicit CBitmap(std::int32_t resourceID);
  ~CBitmap() override;

  // The block of rect's size at the source offset goes to rect's top-left corner; nothing scales.
  virtual void draw(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint());
  // Images without alpha leave out pixels of the transparent colour.
  virtual void drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint());
  virtual void drawAlphaBlend(CDrawContext* context, const CRect& rect, const CPoint& offset,
                              std::uint8_t opacity);
  virtual void dispose();
  // True when a picture was found. Of a PNG picture only the header is read here, which gives the
  // size; its pixels are decoded when they are first drawn or asked for. A picture whose header
  // does not read leaves the bitmap empty; one whose pixels do not decode draws nothing.
  virtual bool loadFromResource(std::int32_t resourceID);
  // Loading from files is not offered: always false, bitmap left empty.
  virtual bool loadFromPath(const void* platformPath);

  std::int32_t getWidth() const { return width; }
  std::int32_t getHeight() const { return height; }
  std::int32_t getResourceID() const { return resourceID; }
  CColor getTransparentColor() const { return transparentColor; }
  void setTransparentColor(const CColor& color) { transparentColor = color; }
  bool getNoAlpha() const { return noAlpha; }
  // The decoded pixels (decoding them now if they are not yet), or null. Safe from any thread.
  const platform::Bitmap* getImage() const;

 protected:
  std::int32_t resourceID;
  std::int32_t width = 0;
  std::int32_t height = 0;
  CColor transparentColor;
  bool noAlpha = true;

 private:
  // A PNG picture whose pixels are still to be decoded: its resource number.
  std::uint32_t pendingNumber = 0;
  mutable std::atomic<bool> pending{false};
  mutable std::mutex decoding;
  mutable std::unique_ptr<platform::Bitmap> image;
  // Every pixel of the decoded picture has alpha 255: a blend at full opacity is a plain copy.
  mutable bool opaque = false;
};

// The largest side a PNG may declare; anything bigger is refused before pixels are allocated.
inline constexpr std::uint32_t kMaxBitmapSide = 16384;
// And the largest number of pixels (64 MB of image).
inline constexpr std::uint64_t kMaxBitmapPixels = 1u << 24;

}  // namespace VSTGUI
