// GDI behind the surface seam: 32-bit bitmap sections for pictures, and device contexts of windows,
// of paints and of memory bitmaps as surfaces. The imaging library's entry points live here too,
// since only drawing uses them.
#pragma once

#include <windows.h>

#include "platform/surface.h"

namespace platform::win32 {

// A device-independent bitmap section: 32 bits a pixel, rows bottom-up, pixel memory in reach.
class DibBitmap final : public Bitmap {
 public:
  // Null when the platform gives no section.
  static std::unique_ptr<DibBitmap> create(int width, int height);
  ~DibBitmap() override;
  DibBitmap(const DibBitmap&) = delete;
  DibBitmap& operator=(const DibBitmap&) = delete;

  int width() const override { return width_; }
  int height() const override { return height_; }
  int rowBytes() const override { return width_ * 4; }
  std::uint8_t* memoryRow(int index) override { return bits_ + static_cast<std::size_t>(index) * rowBytes(); }
  const std::uint8_t* memoryRow(int index) const override {
    return bits_ + static_cast<std::size_t>(index) * rowBytes();
  }
  HBITMAP handle() const { return handle_; }

 private:
  DibBitmap(HBITMAP handle, std::uint8_t* bits, int width, int height)
      : handle_(handle), bits_(bits), width_(width), height_(height) {}
  HBITMAP handle_;
  std::uint8_t* bits_;
  int width_;
  int height_;
};

class GdiSurface final : public Surface {
 public:
  // Null when the platform gives no device context.
  static GdiSurface* ofWindow(HWND window);  // GetDC, given back with ReleaseDC
  static GdiSurface* ofPaint(HWND window);   // BeginPaint, ended with EndPaint
  static std::unique_ptr<GdiSurface> inMemory(HDC compatibleWith, int width, int height);
  // Puts back what the device context had, deletes what the surface made, gives the context back.
  ~GdiSurface() override;
  GdiSurface(const GdiSurface&) = delete;
  GdiSurface& operator=(const GdiSurface&) = delete;

  HDC dc() const { return dc_; }
  const RECT& paintRect() const { return paint_.rcPaint; }

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

 private:
  enum class Kind { window, paint, memory };
  GdiSurface(Kind kind, HWND window, HDC dc);
  // Selects the given objects back and deletes the pen, brush and font the surface made.
  void putBack(HGDIOBJ pen, HGDIOBJ brush, HGDIOBJ font);

  Kind kind_;
  HWND window_;
  HDC dc_;
  PAINTSTRUCT paint_{};
  HBITMAP memoryBitmap_ = nullptr;
  HGDIOBJ originalBitmap_ = nullptr;
  HGDIOBJ originalPen_;
  HGDIOBJ originalBrush_;
  HGDIOBJ originalFont_;
  HGDIOBJ savedPen_ = nullptr;
  HGDIOBJ savedBrush_ = nullptr;
  HGDIOBJ savedFont_ = nullptr;
  bool saved_ = false;
  HPEN pen_ = nullptr;
  HBRUSH brush_ = nullptr;
  HFONT font_ = nullptr;
  SurfaceCounters counters_;
};

// AlphaBlend and TransparentBlt from "msimg32.dll", while the library is loaded; null otherwise.
using AlphaBlendEntry = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);
using TransparentBltEntry = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, UINT);
struct ImagingEntries {
  AlphaBlendEntry alphaBlend = nullptr;
  TransparentBltEntry transparentBlt = nullptr;
  int loads = 0;
};
ImagingEntries& imagingEntries();

}  // namespace platform::win32
