// The toolkit's shared ground: reference counting, points, rectangles, colours, font identifiers,
// text alignments and the mouse-state bits.
#pragma once

#include <algorithm>
#include <cstdint>

namespace VSTGUI {

// Shared objects start with one reference, held by their creator; the last forget frees them.
class CReferenceCounter {
 public:
  CReferenceCounter() = default;
  CReferenceCounter(const CReferenceCounter&) = delete;
  CReferenceCounter& operator=(const CReferenceCounter&) = delete;
  virtual ~CReferenceCounter() = default;
  virtual void forget() {
    if (--nbReference == 0) delete this;
  }
  virtual void remember() { ++nbReference; }
  std::int32_t getNbReference() const { return nbReference; }

 private:
  std::int32_t nbReference = 1;
};

struct CPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  CPoint() = default;
  CPoint(std::int32_t x, std::int32_t y) : x(x), y(y) {}
  bool operator==(const CPoint&) const = default;
};

// Drawing treats right and bottom as outside; hit tests count all four edges as inside.
struct CRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;

  CRect() = default;
  CRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
      : left(left), top(top), right(right), bottom(bottom) {}
  bool operator==(const CRect&) const = default;

  std::int32_t width() const { return right - left; }
  std::int32_t height() const { return bottom - top; }
  CRect& offset(std::int32_t dx, std::int32_t dy) {
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
    return *this;
  }
  // Clamped intersection: the result never has a negative width or height.
  CRect& bound(const CRect& other) {
    left = std::max(left, other.left);
    top = std::max(top, other.top);
    right = std::min(right, other.right);
    bottom = std::min(bottom, other.bottom);
    if (bottom < top) bottom = top;
    if (right < left) right = left;
    return *this;
  }
  bool pointInside(const CPoint& p) const {
    return left <= p.x && p.x <= right && top <= p.y && p.y <= bottom;
  }
  // Stores the values ordered, so that left <= right and top <= bottom.
  CRect& setOrdered(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
    left = std::min(l, r);
    right = std::max(l, r);
    top = std::min(t, b);
    bottom = std::max(t, b);
    return *this;
  }
};

struct CColor {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  std::uint8_t alpha = 0;
  bool operator==(const CColor&) const = default;
};

inline constexpr CColor kColorTransparent{255, 255, 255, 0};
inline constexpr CColor kColorBlack{0, 0, 0, 255};
inline constexpr CColor kColorWhite{255, 255, 255, 255};
inline constexpr CColor kColorGrey{127, 127, 127, 255};
inline constexpr CColor kColorRed{255, 0, 0, 255};

enum CFont : std::int32_t {
  kFontSystem = 0,
  kFontVeryBig,
  kFontBig,
  kFontNormal,
  kFontSmall,
  kFontSmaller,
  kFontVerySmall,
  kFontSymbol,
  kFontCount  // no font selected yet
};

inline constexpr std::int32_t kFontStyleBold = 1;
inline constexpr std::int32_t kFontStyleItalic = 2;
inline constexpr std::int32_t kFontStyleUnderline = 4;

enum CHoriTxtAlign : std::int32_t { kAlignLeft = 0, kAlignCenter = 1, kAlignRight = 2 };

inline constexpr std::int32_t kButtonLeft = 1;
inline constexpr std::int32_t kButtonMiddle = 2;
inline constexpr std::int32_t kButtonRight = 4;
inline constexpr std::int32_t kModifierShift = 8;
inline constexpr std::int32_t kModifierControl = 16;
inline constexpr std::int32_t kModifierAlt = 32;

}  // namespace VSTGUI
