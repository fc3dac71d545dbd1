#include "vstgui/cdrawcontext.h"

#include <cstring>

#include "platform/input.h"
#include "vstgui/cframe.h"

namespace VSTGUI {
namespace {

bool gSwappedButtons = false;

platform::Color rgb(const CColor& c) { return {c.red, c.green, c.blue}; }

struct FontEntry {
  const char* face;
  std::int32_t size;
};

constexpr FontEntry kFonts[kFontCount] = {
    {"Arial", 12}, {"Arial", 18}, {"Arial", 14}, {"Arial", 12},
    {"Arial", 11}, {"Arial", 10}, {"Arial", 9},  {"Symbol", 13},
};

constexpr int kVariablePitchSansSerif = 0x22;
constexpr int kDefaultPitchDecorative = 0x50;

}  // namespace

void recordSwappedMouseButtons() { gSwappedButtons = platform::buttonsSwapped(); }
bool mouseButtonsSwapped() { return gSwappedButtons; }

CDrawContext::CDrawContext(CFrame* frame, platform::Surface* surface, platform::WindowHandle window)
    : surface(surface), window(window), frame(frame), clipRect(0, 0, 1000, 1000) {
  if (frame) frame->getViewSize(clipRect);
  if (!surface && window) {
    acquiredSurface = platform::acquireWindowSurface(window);
    this->surface = acquiredSurface;
  }
  if (this->surface) {
    this->surface->saveObjects();
    savedObjects = true;
    this->surface->setBackgroundMode(platform::BackgroundMode::transparent);
  }
  if (window) {
    const platform::Rect outer = platform::windowScreenRect(window);
    offsetScreen = CPoint(outer.left, outer.top);
  }
  // The fields start at values that differ from these, so each selection takes effect.
  setFrameColor(kColorWhite);
  setLineStyle(kLineSolid);
  setLineWidth(1);
  setFillColor(kColorBlack);
  setFontColor(kColorWhite);
  setFont(kFontSystem, 0);
  setDrawMode(kCopyMode);
}

CDrawContext::~CDrawContext() {
  if (surface && savedObjects) surface->restoreObjects();
  if (acquiredSurface) platform::releaseWindowSurface(window, acquiredSurface);
}

platform::Rect CDrawContext::toSurface(const CRect& r) const {
  return {r.left + offset.x, r.top + offset.y, r.right + offset.x, r.bottom + offset.y};
}

void CDrawContext::moveTo(const CPoint& p) {
  if (surface) surface->moveTo({p.x + offset.x, p.y + offset.y});
}

void CDrawContext::lineTo(const CPoint& p) {
  if (surface) surface->lineTo({p.x + offset.x, p.y + offset.y});
}

void CDrawContext::frameRect(const CRect& r) {
  const platform::Rect s = toSurface(r);
  const CPoint corners[] = {{s.left, s.top},
                            {s.right - 1, s.top},
                            {s.right - 1, s.bottom - 1},
                            {s.left, s.bottom - 1},
                            {s.left, s.top}};
  if (!surface) return;
  surface->moveTo({corners[0].x, corners[0].y});
  for (int i = 1; i < 5; ++i) surface->lineTo({corners[i].x, corners[i].y});
}

void CDrawContext::fillRect(const CRect& r) {
  // The left column and top row are left to frameRect, so the two together cover r exactly.
  platform::Rect s = toSurface(r);
  s.left += 1;
  s.top += 1;
  if (surface) surface->fillRect(s);
}

void CDrawContext::drawString(const char* string, const CRect& r, std::int16_t opaque, CHoriTxtAlign hAlign) {
  if (!string) return;
  platform::Rect s = toSurface(r);
  platform::TextAlign align = platform::TextAlign::left;
  if (hAlign == kAlignCenter)
    align = platform::TextAlign::center;
  else if (hAlign == kAlignRight)
    align = platform::TextAlign::right;
  else
    s.left += 1;
  if (!surface) return;
  surface->setBackgroundMode(opaque ? platform::BackgroundMode::opaque
                                    : platform::BackgroundMode::transparent);
  surface->drawText({string, std::strlen(string)}, s, align);
  surface->setBackgroundMode(platform::BackgroundMode::transparent);
}

void CDrawContext::createPen() {
  if (surface) surface->createPen(rgb(frameColor), frameWidth);
}

void CDrawContext::setFrameColor(const CColor& color) {
  if (frameColor == color) return;
  frameColor = color;
  createPen();
}

void CDrawContext::setLineWidth(std::int32_t width) {
  if (frameWidth == width) return;
  frameWidth = width;
  createPen();
}

void CDrawContext::setLineStyle(CLineStyle /*style*/) {
  // Solid is the only style there is.
  if (lineStyle == kLineSolid) return;
  lineStyle = kLineSolid;
  createPen();
}

void CDrawContext::setFillColor(const CColor& color) {
  if (fillColor == color) return;
  fillColor = color;
  if (!surface) return;
  surface->setBackgroundColor(rgb(color));
  surface->createBrush(rgb(color));  // on failure the previous brush simply stays
}

void CDrawContext::setFontColor(const CColor& color) {
  fontColor = color;
  if (surface) surface->setTextColor(rgb(color));
}

void CDrawContext::setFont(CFont fontID, std::int32_t style) {
  if (fontID < kFontSystem || fontID > kFontSymbol) fontID = kFontSystem;
  const FontEntry& entry = kFonts[fontID];
  if (fontID == fontId && entry.size == fontSize && style == fontStyle) return;
  fontStyle = style;
  fontId = fontID;
  fontSize = entry.size;

  platform::FontDescription font;
  font.face = entry.face;
  font.pixelHeight = entry.size;
  font.weight = (style & kFontStyleBold) ? 700 : 400;
  font.italic = (style & kFontStyleItalic) != 0;
  font.underline = (style & kFontStyleUnderline) != 0;
  font.pitchAndFamily = kVariablePitchSansSerif;
  if (fontID == kFontSymbol) font.pitchAndFamily = kDefaultPitchDecorative;
  if (fontID == kFontSystem) font.weight = 700;
  if (surface) surface->createFont(font);
}

void CDrawContext::setDrawMode(CDrawMode /*mode*/) {
  // Copy is the only mode there is.
  if (drawMode == kCopyMode) return;
  drawMode = kCopyMode;
  if (surface) surface->setCopyMode();
}

void CDrawContext::setClipRect(const CRect& clip) {
  CRect r = clip;
  r.offset(offset.x, offset.y);
  if (r == clipRect) return;
  clipRect = r;
  if (surface) surface->setClip({r.left, r.top, r.right, r.bottom});
}

CRect& CDrawContext::getClipRect(CRect& clip) const {
  clip = clipRect;
  clip.offset(-offset.x, -offset.y);
  return clip;
}

void CDrawContext::getMouseLocation(CPoint& point) const {
  const platform::Point cursor = platform::cursorPosition();
  point = CPoint(cursor.x - offsetScreen.x, cursor.y - offsetScreen.y);
}

std::int32_t CDrawContext::getMouseButtons() {
  using platform::Key;
  platform::KeySet keys;
  if (hasEventKeys) {
    keys = eventKeys;
    hasEventKeys = false;
  } else {
    keys = platform::heldKeys();
  }
  const auto held = [keys](Key key) { return (keys & platform::keyBit(key)) != 0; };
  std::int32_t state = 0;
  // Left and right as the user sees them: swapped buttons trade the physical ones.
  if (held(Key::leftButton)) state |= gSwappedButtons ? kButtonRight : kButtonLeft;
  if (held(Key::middleButton)) state |= kButtonMiddle;
  if (held(Key::rightButton)) state |= gSwappedButtons ? kButtonLeft : kButtonRight;
  if (held(Key::shift)) state |= kModifierShift;
  if (held(Key::control)) state |= kModifierControl;
  if (held(Key::alt)) state |= kModifierAlt;
  return state;
}

void CDrawContext::setEventKeys(platform::KeySet keys) {
  eventKeys = keys;
  hasEventKeys = true;
}

COffscreenContext::COffscreenContext(CFrame* frame, std::int32_t width, std::int32_t height,
                                     const CColor backgroundColor)
    : CDrawContext(frame, nullptr, nullptr), height(height), width(width), backgroundColor(backgroundColor) {
  clipRect.setOrdered(0, 0, width, height);

  const platform::WindowHandle frameWindow = frame ? frame->getWindowHandle() : nullptr;
  platform::Surface* windowSurface = platform::acquireWindowSurface(frameWindow);
  memory = platform::createMemorySurface(windowSurface, width, height);
  platform::releaseWindowSurface(frameWindow, windowSurface);
  setSurface(memory.get());

  // The new surface takes over the state the context already holds.
  if (surface) {
    surface->createPen(rgb(frameColor), frameWidth);
    surface->setBackgroundColor(rgb(fillColor));
    surface->createBrush(rgb(fillColor));
    const CFont selected = fontId;
    fontId = kFontCount;  // forces setFont to describe the font to the new surface
    setFont(selected, fontStyle);
    surface->setTextColor(rgb(fontColor));
    surface->setBackgroundMode(platform::BackgroundMode::transparent);
  }

  setFillColor(backgroundColor);
  setFrameColor(backgroundColor);
  const CRect all(0, 0, width, height);
  fillRect(all);
  frameRect(all);
}

COffscreenContext::~COffscreenContext() {
  // The memory surface goes with this object; the base part must not touch it.
  setSurface(nullptr);
}

void COffscreenContext::copyToContext(CDrawContext* destination, const CRect& destinationRect,
                                      const CPoint& source) {
  if (!destination || !destination->getSurface() || !surface) return;
  CRect to = destinationRect;
  to.offset(destination->offset.x, destination->offset.y);
  destination->getSurface()->copyFrom(*surface, {source.x, source.y}, {to.left, to.top, to.right, to.bottom});
}

void COffscreenContext::copyFromContext(CDrawContext* source, const CRect& sourceRect,
                                        const CPoint& destination) {
  if (!source || !source->getSurface() || !surface) return;
  const platform::Point from{sourceRect.left + source->offset.x, sourceRect.top + source->offset.y};
  surface->copyFrom(*source->getSurface(), from,
                    {destination.x, destination.y, destination.x + sourceRect.width(),
                     destination.y + sourceRect.height()});
}

}  // namespace VSTGUI
