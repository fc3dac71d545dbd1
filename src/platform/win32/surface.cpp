#include "platform/win32/surface.h"

#include <cstring>
#include <string>

namespace platform::win32 {
namespace {

COLORREF colorRef(Color c) { return RGB(c.red, c.green, c.blue); }

RECT rectOf(const Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

const DibBitmap& dibOf(const Bitmap& bitmap) {
  // Every bitmap of a build comes from the same backend.
  return static_cast<const DibBitmap&>(bitmap);
}

// A memory device context holding a picture, for the length of one transfer.
class SelectedPicture {
 public:
  SelectedPicture(HDC compatibleWith, const Bitmap& picture)
      : dc_(CreateCompatibleDC(compatibleWith)),
        previous_(dc_ ? SelectObject(dc_, dibOf(picture).handle()) : nullptr) {}
  ~SelectedPicture() {
    if (!dc_) return;
    SelectObject(dc_, previous_);
    DeleteDC(dc_);
  }
  SelectedPicture(const SelectedPicture&) = delete;
  SelectedPicture& operator=(const SelectedPicture&) = delete;
  HDC dc() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// The w x h block of a picture at `from` with only its colour bytes: the fourth byte of a pixel is
// reserved in a picture without alpha, but Wine's GDI compares all four bytes when it turns colour
// into a monochrome mask. Outside the picture the block is black.
std::unique_ptr<DibBitmap> colourOnlyBlock(const Bitmap& source, Point from, int w, int h) {
  auto block = DibBitmap::create(w, h);
  if (!block) return nullptr;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = block->memoryRow(h - 1 - y);  // rows are bottom-up
    std::memset(row, 0, static_cast<std::size_t>(w) * 4);
    const int sourceY = from.y + y;
    if (sourceY < 0 || sourceY >= source.height()) continue;
    const std::uint8_t* sourceRow = source.memoryRow(source.height() - 1 - sourceY);
    for (int x = 0; x < w; ++x) {
      const int sourceX = from.x + x;
      if (sourceX >= 0 && sourceX < source.width()) std::memcpy(row + x * 4, sourceRow + sourceX * 4, 3);
    }
  }
  return block;
}

}  // namespace

ImagingEntries& imagingEntries() {
  static ImagingEntries entries;
  return entries;
}

// --- bitmaps ---

std::unique_ptr<DibBitmap> DibBitmap::create(int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);  // 40 bytes
  format.bmiHeader.biWidth = width;
  format.bmiHeader.biHeight = height;  // positive: rows bottom-up
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP handle = CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!handle || !bits) {
    if (handle) DeleteObject(handle);
    return nullptr;
  }
  return std::unique_ptr<DibBitmap>(new DibBitmap(handle, static_cast<std::uint8_t*>(bits), width, height));
}

DibBitmap::~DibBitmap() { DeleteObject(handle_); }

// --- surfaces ---

GdiSurface::GdiSurface(Kind kind, HWND window, HDC dc)
    : kind_(kind),
      window_(window),
      dc_(dc),
      originalPen_(GetCurrentObject(dc, OBJ_PEN)),
      originalBrush_(GetCurrentObject(dc, OBJ_BRUSH)),
      originalFont_(GetCurrentObject(dc, OBJ_FONT)) {}

GdiSurface* GdiSurface::ofWindow(HWND window) {
  HDC dc = GetDC(window);
  return dc ? new GdiSurface(Kind::window, window, dc) : nullptr;
}

GdiSurface* GdiSurface::ofPaint(HWND window) {
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(window, &paint);
  if (!dc) return nullptr;
  auto* surface = new GdiSurface(Kind::paint, window, dc);
  surface->paint_ = paint;
  return surface;
}

std::unique_ptr<GdiSurface> GdiSurface::inMemory(HDC compatibleWith, int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  // Without a window the memory bitmap matches the screen; a memory context would make it monochrome.
  HDC screen = compatibleWith ? nullptr : GetDC(nullptr);
  HDC reference = compatibleWith ? compatibleWith : screen;
  HDC dc = CreateCompatibleDC(reference);
  HBITMAP bitmap = dc ? CreateCompatibleBitmap(reference, width, height) : nullptr;
  if (screen) ReleaseDC(nullptr, screen);
  if (!bitmap) {
    if (dc) DeleteDC(dc);
    return nullptr;
  }
  std::unique_ptr<GdiSurface> surface(new GdiSurface(Kind::memory, nullptr, dc));
  surface->memoryBitmap_ = bitmap;
  surface->originalBitmap_ = SelectObject(dc, bitmap);
  return surface;
}

GdiSurface::~GdiSurface() {
  putBack(originalPen_, originalBrush_, originalFont_);
  switch (kind_) {
    case Kind::window:
      ReleaseDC(window_, dc_);
      break;
    case Kind::paint:
      EndPaint(window_, &paint_);
      break;
    case Kind::memory:
      SelectObject(dc_, originalBitmap_);
      DeleteDC(dc_);
      DeleteObject(memoryBitmap_);
      break;
  }
}

void GdiSurface::putBack(HGDIOBJ pen, HGDIOBJ brush, HGDIOBJ font) {
  // An object still selected in a device context cannot be deleted.
  SelectObject(dc_, pen);
  SelectObject(dc_, brush);
  SelectObject(dc_, font);
  if (pen_) DeleteObject(pen_);
  if (brush_) DeleteObject(brush_);
  if (font_) DeleteObject(font_);
  pen_ = nullptr;
  brush_ = nullptr;
  font_ = nullptr;
}

void GdiSurface::saveObjects() {
  savedPen_ = GetCurrentObject(dc_, OBJ_PEN);
  savedBrush_ = GetCurrentObject(dc_, OBJ_BRUSH);
  savedFont_ = GetCurrentObject(dc_, OBJ_FONT);
  saved_ = true;
}

void GdiSurface::restoreObjects() {
  if (!saved_) return;
  putBack(savedPen_, savedBrush_, savedFont_);
  saved_ = false;
}

void GdiSurface::createPen(Color color, int width) {
  LOGPEN description{PS_SOLID, {width, 0}, colorRef(color)};
  HPEN pen = CreatePenIndirect(&description);
  ++counters_.pensCreated;
  SelectObject(dc_, pen);
  if (pen_) DeleteObject(pen_);
  pen_ = pen;
}

bool GdiSurface::createBrush(Color color) {
  LOGBRUSH description{BS_SOLID, colorRef(color), 0};
  HBRUSH brush = CreateBrushIndirect(&description);
  if (!brush) {
    GetLastError();  // nothing to report: the previous brush stays
    return false;
  }
  ++counters_.brushesCreated;
  SelectObject(dc_, brush);
  if (brush_) DeleteObject(brush_);
  brush_ = brush;
  return true;
}

void GdiSurface::createFont(const FontDescription& font) {
  LOGFONTA description{};
  description.lfHeight = -font.pixelHeight;  // character height, not cell height
  description.lfWeight = font.weight;
  description.lfItalic = font.italic ? TRUE : FALSE;
  description.lfUnderline = font.underline ? TRUE : FALSE;
  description.lfCharSet = ANSI_CHARSET;
  description.lfOutPrecision = OUT_STRING_PRECIS;
  description.lfClipPrecision = CLIP_STROKE_PRECIS;
  description.lfQuality = DEFAULT_QUALITY;
  description.lfPitchAndFamily = static_cast<BYTE>(font.pitchAndFamily);
  font.face.copy(description.lfFaceName, LF_FACESIZE - 1);
  HFONT created = CreateFontIndirectA(&description);
  ++counters_.fontsCreated;
  SelectObject(dc_, created);
  if (font_) DeleteObject(font_);
  font_ = created;
}

void GdiSurface::setClip(const Rect& clip) {
  HRGN region = CreateRectRgn(clip.left, clip.top, clip.right, clip.bottom);
  SelectClipRgn(dc_, region);  // the context keeps its own copy
  DeleteObject(region);
  ++counters_.clipsApplied;
}

void GdiSurface::setTextColor(Color color) {
  SetTextColor(dc_, colorRef(color));
  ++counters_.textColorsSet;
}

void GdiSurface::setBackgroundColor(Color color) { SetBkColor(dc_, colorRef(color)); }

void GdiSurface::setBackgroundMode(BackgroundMode mode) {
  SetBkMode(dc_, mode == BackgroundMode::opaque ? OPAQUE : TRANSPARENT);
}

void GdiSurface::setCopyMode() { SetROP2(dc_, R2_COPYPEN); }

void GdiSurface::moveTo(Point point) { MoveToEx(dc_, point.x, point.y, nullptr); }

void GdiSurface::lineTo(Point point) { LineTo(dc_, point.x, point.y); }

void GdiSurface::fillRect(const Rect& rect) {
  const RECT r = rectOf(rect);
  HGDIOBJ pen = SelectObject(dc_, GetStockObject(NULL_PEN));
  FillRect(dc_, &r, brush_ ? brush_ : static_cast<HBRUSH>(GetCurrentObject(dc_, OBJ_BRUSH)));
  SelectObject(dc_, pen);
}

void GdiSurface::drawText(std::string_view text, const Rect& rect, TextAlign align) {
  RECT r = rectOf(rect);
  UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
  if (align == TextAlign::center)
    format |= DT_CENTER;
  else if (align == TextAlign::right)
    format |= DT_RIGHT;
  else
    format |= DT_LEFT;
  DrawTextA(dc_, text.data(), static_cast<int>(text.size()), &r, format);
}

void GdiSurface::copyFrom(const Surface& source, Point from, const Rect& to) {
  BitBlt(dc_, to.left, to.top, to.width(), to.height(), static_cast<const GdiSurface&>(source).dc_, from.x,
         from.y, SRCCOPY);
}

void GdiSurface::copyBitmap(const Bitmap& source, Point from, const Rect& to) {
  SelectedPicture picture(dc_, source);
  BitBlt(dc_, to.left, to.top, to.width(), to.height(), picture.dc(), from.x, from.y, SRCCOPY);
}

void GdiSurface::copyBitmapTransparent(const Bitmap& source, Point from, const Rect& to, Color transparent,
                                       bool platformCopy) {
  const int w = to.width();
  const int h = to.height();
  if (platformCopy && imagingEntries().transparentBlt) {
    SelectedPicture picture(dc_, source);
    imagingEntries().transparentBlt(dc_, to.left, to.top, w, h, picture.dc(), from.x, from.y, w, h,
                                    colorRef(transparent));
    return;
  }
  // The mask method: a monochrome mask that is white where the picture has the transparent colour,
  // then invert, and, invert: the destination comes back where the mask is white.
  const std::unique_ptr<DibBitmap> block = colourOnlyBlock(source, from, w, h);
  if (!block) return;
  SelectedPicture colours(dc_, *block);
  HDC maskDc = CreateCompatibleDC(dc_);
  HBITMAP mask = CreateBitmap(w, h, 1, 1, nullptr);
  HGDIOBJ previousMask = SelectObject(maskDc, mask);
  const COLORREF background = SetBkColor(dc_, RGB(255, 255, 255));
  const COLORREF text = SetTextColor(dc_, RGB(0, 0, 0));
  SetBkColor(colours.dc(), colorRef(transparent));
  BitBlt(maskDc, 0, 0, w, h, colours.dc(), 0, 0, SRCCOPY);
  BitBlt(dc_, to.left, to.top, w, h, colours.dc(), 0, 0, SRCINVERT);
  BitBlt(dc_, to.left, to.top, w, h, maskDc, 0, 0, SRCAND);
  BitBlt(dc_, to.left, to.top, w, h, colours.dc(), 0, 0, SRCINVERT);
  SelectObject(maskDc, previousMask);
  DeleteObject(mask);
  DeleteDC(maskDc);
  SetBkColor(dc_, background);
  SetTextColor(dc_, text);
}

void GdiSurface::alphaBlendBitmap(const Bitmap& source, Point from, const Rect& to, std::uint8_t opacity,
                                  bool perPixelAlpha) {
  const int w = to.width();
  const int h = to.height();
  SelectedPicture picture(dc_, source);
  if (!imagingEntries().alphaBlend) {
    // No imaging library: the picture is at least shown, without its transparency.
    BitBlt(dc_, to.left, to.top, w, h, picture.dc(), from.x, from.y, SRCCOPY);
    return;
  }
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, opacity, static_cast<BYTE>(perPixelAlpha ? AC_SRC_ALPHA : 0)};
  imagingEntries().alphaBlend(dc_, to.left, to.top, w, h, picture.dc(), from.x, from.y, w, h, blend);
}

}  // namespace platform::win32

namespace platform {

using win32::GdiSurface;

std::unique_ptr<Bitmap> createBitmap(int width, int height) {
  return win32::DibBitmap::create(width, height);
}

// A section of its own: one section is selected into one device context at a time.
std::unique_ptr<Bitmap> copyBitmap(const Bitmap& source) {
  std::unique_ptr<Bitmap> copy = createBitmap(source.width(), source.height());
  if (copy)
    for (int row = 0; row < source.height(); ++row)
      std::memcpy(copy->memoryRow(row), source.memoryRow(row), static_cast<std::size_t>(source.rowBytes()));
  return copy;
}

std::unique_ptr<Surface> createMemorySurface(const Surface* compatibleWith, int width, int height) {
  HDC reference = compatibleWith ? static_cast<const GdiSurface*>(compatibleWith)->dc() : nullptr;
  return GdiSurface::inMemory(reference, width, height);
}

Surface* acquireWindowSurface(WindowHandle window) {
  return window ? GdiSurface::ofWindow(static_cast<HWND>(window)) : nullptr;
}

void releaseWindowSurface(WindowHandle /*window*/, Surface* surface) { delete surface; }

Rect windowScreenRect(WindowHandle window) {
  RECT r{};
  if (window) GetWindowRect(static_cast<HWND>(window), &r);
  return {r.left, r.top, r.right, r.bottom};
}

}  // namespace platform
