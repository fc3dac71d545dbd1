#include "vstgui/cknob.h"

#include <cmath>
#include <limits>

#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cframe.h"

namespace VSTGUI {
namespace {

// A full turn rounded to single precision, and the same in double precision: the gap test
// compares a single-precision angle against the exact turn.
constexpr float kTwoPiS = 6.2831855f;
constexpr double kTwoPiD = 6.283185307179586;

constexpr float kDefaultStartAngle = static_cast<float>(5.0 * 3.14159265358979323846 / 4.0);
constexpr float kDefaultRangeAngle = static_cast<float>(-3.0 * 3.14159265358979323846 / 2.0);

constexpr float kLinearSpan = 200.0f;  // pixels of drag for the whole range
constexpr float kFineStep = 0.1f;      // wheel and key steps shrink by this with Shift

}  // namespace

// --- CKnob ---

CKnob::CKnob(const CRect& size, CControlListener* listener, std::int32_t tag, CBitmap* background,
             const CPoint& offset)
    : CControl(size, listener, tag, background), offset(offset) {
  radius = static_cast<float>(size.right - size.left) * 0.5f;
  rangeAngle = 1.0f;
  setStartAngle(kDefaultStartAngle);
  setRangeAngle(kDefaultRangeAngle);
  zoomFactor = 1.5f;
  setWantsFocus(true);
}

CKnob::~CKnob() {
  if (pHandle) pHandle->forget();
}

bool CKnob::isTypeOf(const char* name) const { return nameIs(name, "CKnob") || CControl::isTypeOf(name); }

void CKnob::setStartAngle(float angle) {
  startAngle = angle;
  compute();
}

void CKnob::setRangeAngle(float angle) {
  rangeAngle = angle;
  compute();
}

void CKnob::compute() {
  aCoef = (vmax - vmin) / rangeAngle;
  bCoef = vmin - aCoef * startAngle;
  halfAngle = (kTwoPiS - std::fabs(rangeAngle)) * 0.5f;
  setDirty(true);
}

void CKnob::valueToPoint(CPoint& point) const {
  const auto alpha = static_cast<float>((static_cast<double>(value) - bCoef) / aCoef);
  const auto c = static_cast<float>(std::cos(static_cast<double>(alpha)));
  const auto s = static_cast<float>(std::sin(static_cast<double>(alpha)));
  const double r = radius;
  const double reach = r - inset;
  // A value that is not a number (or a range of no angle) points nowhere: the handle sits at the
  // centre instead of at a point billions of pixels away.
  if (!std::isfinite(c) || !std::isfinite(s)) {
    point.x = point.y = static_cast<std::int32_t>(r);
    return;
  }
  point.x = static_cast<std::int32_t>(r + c * reach + 0.5);
  point.y = static_cast<std::int32_t>(r - s * reach + 0.5);
}

float CKnob::valueFromPoint(CPoint& point) const {
  // Screen y grows downwards, so "up" is radius - y.
  auto alpha = static_cast<float>(
      std::atan2(static_cast<double>(radius) - point.y, static_cast<double>(point.x) - radius));
  if (alpha < 0.0f) alpha += kTwoPiS;

  float alpha2 = alpha - startAngle;
  auto wrapped = [](float a) {
    if (a < 0.0f) return a + kTwoPiS;
    if (a > kTwoPiD) return a - kTwoPiS;
    return a;
  };

  // The gap outside the range splits at its middle: each half belongs to the nearer end.
  float result;
  if (rangeAngle < 0.0f) {
    alpha2 -= rangeAngle;
    const float alpha3 = wrapped(alpha2);
    const float t = halfAngle - rangeAngle;
    if (alpha3 > t) {
      result = vmax;
    } else if (alpha3 > -rangeAngle) {
      result = vmin;
    } else {
      if (alpha2 > t)
        alpha2 -= kTwoPiS;
      else if (alpha2 < -halfAngle)
        alpha2 += kTwoPiS;
      result = static_cast<float>(static_cast<double>(aCoef) * alpha2 + vmax);
    }
  } else {
    const float alpha3 = wrapped(alpha2);
    const float t = rangeAngle + halfAngle;
    if (alpha3 > t) {
      result = vmin;
    } else if (alpha3 > rangeAngle) {
      result = vmax;
    } else {
      if (alpha2 > t)
        alpha2 -= kTwoPiS;
      else if (alpha2 < -halfAngle)
        alpha2 += kTwoPiS;
      result = static_cast<float>(static_cast<double>(aCoef) * alpha2 + vmin);
    }
  }
  return result;
}

void CKnob::setHandleShadowColor(const CColor& color) {
  colorShadowHandle = color;
  setDirty(true);
}

void CKnob::setHandleColor(const CColor& color) {
  colorHandle = color;
  setDirty(true);
}

void CKnob::setHandleBitmap(CBitmap* bitmap) {
  // The new one is held before the old one is let go: they may be the same picture.
  if (bitmap) bitmap->remember();
  if (pHandle) pHandle->forget();
  pHandle = bitmap;
  if (!bitmap) return;
  // The handle's centre stays inside the circle by half its width and a little air.
  inset = static_cast<std::int32_t>(pHandle->getWidth() * 0.5 + 2.5);
}

void CKnob::draw(CDrawContext* context) {
  if (pBackground) {
    if (bTransparencyEnabled)
      pBackground->drawTransparent(context, size, offset);
    else
      pBackground->draw(context, size, offset);
  }
  drawHandle(context);
  setDirty(false);
}

void CKnob::drawHandle(CDrawContext* context) {
  CPoint p;
  valueToPoint(p);
  if (pHandle) {
    const std::int32_t w = pHandle->getWidth();
    const std::int32_t h = pHandle->getHeight();
    const std::int32_t left = size.left + p.x - w / 2;
    const std::int32_t top = size.top + p.y - h / 2;
    pHandle->drawTransparent(context, CRect(left, top, left + w, top + h), CPoint(0, 0));
    return;
  }
  CPoint origin(size.width() / 2, size.height() / 2);
  // The shadow runs one pixel left of and one below the handle line.
  p = CPoint(p.x + size.left - 1, p.y + size.top);
  origin = CPoint(origin.x + size.left - 1, origin.y + size.top);
  context->setFrameColor(colorShadowHandle);
  context->moveTo(p);
  context->lineTo(origin);
  p = CPoint(p.x + 1, p.y - 1);
  origin = CPoint(origin.x + 1, origin.y - 1);
  context->setFrameColor(colorHandle);
  context->moveTo(p);
  context->lineTo(origin);
}

void CKnob::mouse(CDrawContext* context, CPoint& where, std::int32_t buttons) {
  if (!bMouseEnabled) return;
  // The drag polls the buttons and the cursor through the context; without one there is nothing
  // to follow.
  if (!context) return;
  if (buttons == kButtonsUnknown) buttons = context->getMouseButtons();
  if (!(buttons & kButtonLeft)) return;
  if (listener && (buttons & kModifierMask)) {
    if (listener->modifierClicked(context, this, buttons) != 0) return;
  }
  if (checkDefaultClick(context, buttons)) return;

  float entry = value;
  const float middle = (vmax - vmin) * 0.5f;
  float range = kLinearSpan;
  float coef = (vmax - vmin) / range;
  CPoint first(0, 0);
  float old = 0.0f;
  std::int32_t oldButtons = buttons;

  const std::int32_t mode = pParentFrame ? pParentFrame->getKnobMode() : 0;
  const bool alt = (buttons & kModifierAlt) != 0;
  const bool linear = (mode == kLinearMode) != alt;
  if (linear) {
    if (buttons & kModifierShift) range = kLinearSpan * zoomFactor;
    coef = (vmax - vmin) / range;
    first = where;
  } else {
    CPoint local(where.x - size.left, where.y - size.top);
    old = valueFromPoint(local);
  }

  CPoint last(-1, -1);
  beginEdit();
  std::int32_t state;
  do {
    state = context->getMouseButtons();
    if (where != last) {
      last = where;
      if (linear) {
        // Up and right both turn the knob up.
        const std::int32_t diff = (first.y - where.y) + (where.x - first.x);
        if (state != oldButtons) {
          // Shift changes the span mid-drag; the entry point moves so the value does not jump.
          range = kLinearSpan;
          if (state & kModifierShift) range = kLinearSpan * zoomFactor;
          const float coef2 = (vmax - vmin) / range;
          entry += static_cast<float>(diff) * (coef - coef2);
          coef = coef2;
          oldButtons = state;
        }
        value = entry + static_cast<float>(diff) * coef;
        clampValue();
      } else {
        where.x -= size.left;
        where.y -= size.top;
        value = valueFromPoint(where);
        // A jump of more than half the range means the pointer crossed the gap: stay at the end
        // it came from until it comes back near the last accepted value.
        if (old - value > middle)
          value = vmax;
        else if (value - old > middle)
          value = vmin;
        else
          old = value;
      }
      if (isDirty() && listener) listener->valueChanged(context, this);
    }
    getMouseLocation(context, where);
    doIdleStuff();
  } while (state & kButtonLeft);
  endEdit();
}

bool CKnob::onWheel(CDrawContext* context, const CPoint& /*where*/, float distance) {
  if (!bMouseEnabled) return false;
  const std::int32_t state = context ? context->getMouseButtons() : 0;
  if (state & kModifierShift)
    value += wheelInc * (distance * kFineStep);
  else
    value += wheelInc * distance;
  clampValue();
  if (isDirty() && listener) {
    beginEdit();
    listener->valueChanged(context, this);
    endEdit();
  }
  return true;
}

std::int32_t CKnob::onKeyDown(VstKeyCode& keyCode) {
  float direction;
  switch (keyCode.virt) {
    case VKEY_LEFT:
    case VKEY_DOWN:
      direction = -1.0f;
      break;
    case VKEY_UP:
    case VKEY_RIGHT:
      direction = 1.0f;
      break;
    default:
      return kKeyNotHandled;
  }
  if (keyCode.modifier & MODIFIER_SHIFT)
    value += wheelInc * (direction * kFineStep);
  else
    value += wheelInc * direction;
  clampValue();
  if (isDirty() && listener) {
    beginEdit();
    listener->valueChanged(nullptr, this);
    endEdit();
  }
  return 1;
}

// --- CAnimKnob ---

CAnimKnob::CAnimKnob(const CRect& size, CControlListener* listener, std::int32_t tag, std::int32_t subPixmaps,
                     std::int32_t heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CKnob(size, listener, tag, background, offset),
      subPixmaps(subPixmaps),
      heightOfOneImage(heightOfOneImage),
      lastDrawnPoint(0, 0) {
  inset = 0;
}

CAnimKnob::~CAnimKnob() = default;

bool CAnimKnob::isTypeOf(const char* name) const {
  return nameIs(name, "CAnimKnob") || CKnob::isTypeOf(name);
}

std::int32_t CAnimKnob::frameOffset() const {
  // NaN fails this test and shows the first frame, like any value below zero.
  if (!(value >= 0.0f)) return 0;
  // A frame height below one or fewer than two frames leaves only the first frame to show.
  const std::int64_t h = heightOfOneImage;
  const std::int64_t last = h * (static_cast<std::int64_t>(subPixmaps) - 1);
  if (h < 1 || last <= 0) return 0;
  const double scaled = static_cast<double>(value) * static_cast<double>(last);
  // A value above the range (the host may set one) shows the last frame, not memory below it.
  if (scaled >= static_cast<double>(last)) return static_cast<std::int32_t>(last);
  const auto y = static_cast<std::int64_t>(scaled);
  return static_cast<std::int32_t>(y / h * h);
}

void CAnimKnob::draw(CDrawContext* context) {
  const CPoint source(0, frameOffset());
  if (pBackground) {
    if (bTransparencyEnabled)
      pBackground->drawTransparent(context, size, source);
    else
      pBackground->draw(context, size, source);
  }
  valueToPoint(lastDrawnPoint);
  setDirty(false);
}

bool CAnimKnob::isDirty() const {
  // The strip only changes where the handle point moves.
  if (!bDirty) {
    CPoint point;
    valueToPoint(point);
    if (point == lastDrawnPoint) return false;
  }
  return CKnob::isDirty();
}

}  // namespace VSTGUI
