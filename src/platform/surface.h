// Drawing surfaces as the toolkit sees them: a window's surface or a memory surface, each holding
// its current pen, brush, font, text and background colours, background mode and clip rectangle.
// Every creation of a pen, brush or font and every clip change is counted, so the toolkit's
// promise to do platform work only on a real change can be checked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

// Right and bottom are outside, as everywhere below the toolkit.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

// The surface works in red, green and blue only.
struct Color {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  bool operator==(const Color&) const = default;
};

enum class BackgroundMode { transparent, opaque };
enum class TextAlign { left, center, right };

struct FontDescription {
  std::string face;
  int pixelHeight = 0;  // character height, not cell height
  int weight = 400;
  bool italic = false;
  bool underline = false;
  int pitchAndFamily = 0;
  bool operator==(const FontDescription&) const = default;
};

struct SurfaceCounters {
  int pensCreated = 0;
  int brushesCreated = 0;
  int fontsCreated = 0;
  int clipsApplied = 0;
  int textColorsSet = 0;
};

// A 32-bit picture in memory: four bytes per pixel in the order blue, green, red, alpha, colour
// premultiplied by alpha, rows bottom-up (memory row 0 is the picture's bottom row).
class Bitmap {
 public:
  virtual ~Bitmap() = default;
  virtual int width() const = 0;
  virtual int height() const = 0;
  virtual int rowBytes() const = 0;
  virtual std::uint8_t* memoryRow(int index) = 0;
  virtual const std::uint8_t* memoryRow(int index) const = 0;
};

// Null when the platform cannot provide the memory.
std::unique_ptr<Bitmap> createBitmap(int width, int height);
// A bitmap of the same pixels; later writes to either leave the other as it is. Where the
// platform can, the two share their memory until one of them is written. Null as createBitmap.
std::unique_ptr<Bitmap> copyBitmap(const Bitmap& source);

class Surface {
 public:
  virtual ~Surface() = default;

  // The objects a surface had when a drawing context took it over, and their return.
  virtual void saveObjects() = 0;
  virtual void restoreObjects() = 0;

  // Each call makes a new object and replaces the current one.
  virtual void createPen(Color color, int width) = 0;
  virtual bool createBrush(Color color) = 0;  // false: the old brush stays
  virtual void createFont(const FontDescription& font) = 0;
  virtual void setClip(const Rect& clip) = 0;

  virtual void setTextColor(Color color) = 0;
  virtual void setBackgroundColor(Color color) = 0;
  virtual void setBackgroundMode(BackgroundMode mode) = 0;
  virtual void setCopyMode() = 0;

  virtual void moveTo(Point point) = 0;
  virtual void lineTo(Point point) = 0;         // end pixel left out
  virtual void fillRect(const Rect& rect) = 0;  // current brush, right and bottom outside
  // One line, vertically centred, no prefix characters, clipped to the rectangle.
  virtual void drawText(std::string_view text, const Rect& rect, TextAlign align) = 0;

  // Block transfers of a width x height block from a source position to a destination position.
  virtual void copyFrom(const Surface& source, Point from, const Rect& to) = 0;
  virtual void copyBitmap(const Bitmap& source, Point from, const Rect& to) = 0;
  // Pixels of the transparent colour leave the destination alone. The platform's own transparent
  // copy is used only when the caller allows it; otherwise a mask does the job.
  virtual void copyBitmapTransparent(const Bitmap& source, Point from, const Rect& to, Color transparent,
                                     bool platformCopy) = 0;
  // Source-over blend of a premultiplied source scaled by opacity; without per-pixel alpha the
  // source counts as opaque.
  virtual void alphaBlendBitmap(const Bitmap& source, Point from, const Rect& to, std::uint8_t opacity,
                                bool perPixelAlpha) = 0;

  virtual const SurfaceCounters& counters() const = 0;
};

// A memory surface of the given size that draws like the given one (which may be null).
std::unique_ptr<Surface> createMemorySurface(const Surface* compatibleWith, int width, int height);

// Native windows as the host hands them over.
using WindowHandle = void*;

// The window's own surface, to be given back with releaseWindowSurface; null if it has none.
Surface* acquireWindowSurface(WindowHandle window);
void releaseWindowSurface(WindowHandle window, Surface* surface);
// The window's outer rectangle on the screen.
Rect windowScreenRect(WindowHandle window);

}  // namespace platform
