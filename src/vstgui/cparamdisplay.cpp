#include "vstgui/cparamdisplay.h"

#include <cstdio>

#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"

namespace VSTGUI {

CParamDisplay::CParamDisplay(const CRect& size, CBitmap* background, std::int32_t style)
    : CControl(size, nullptr, 0, background), style(style) {}

CParamDisplay::~CParamDisplay() = default;

bool CParamDisplay::isTypeOf(const char* name) const {
  return nameIs(name, "CParamDisplay") || CControl::isTypeOf(name);
}

void CParamDisplay::setFont(CFont id) {
  if (fontID == id) return;
  fontID = id;
  setDirty(true);
}

void CParamDisplay::setFontColor(CColor color) {
  if (fontColor == color) return;
  fontColor = color;
  setDirty(true);
}

void CParamDisplay::setBackColor(CColor color) {
  if (backColor == color) return;
  backColor = color;
  setDirty(true);
}

void CParamDisplay::setFrameColor(CColor color) {
  if (frameColor == color) return;
  frameColor = color;
  setDirty(true);
}

void CParamDisplay::setShadowColor(CColor color) {
  if (shadowColor == color) return;
  shadowColor = color;
  setDirty(true);
}

void CParamDisplay::setAlignment(CHoriTxtAlign align) {
  if (horiTxtAlign == align) return;
  horiTxtAlign = align;
  setDirty(true);
}

void CParamDisplay::setValueToString(CParamDisplayValueToStringUserDataProc proc, void* data) {
  stringConvert2 = proc;
  userData = data;
}

void CParamDisplay::setValueToString(CParamDisplayValueToStringProc proc) { stringConvert = proc; }

void CParamDisplay::setStringToValue(CParamDisplayStringToValueProc proc) { stringToValue = proc; }

void CParamDisplay::setStyle(std::int32_t val) {
  if (style == val) return;
  style = val;
  setDirty(true);
}

void CParamDisplay::setFontStyle(std::int32_t val) {
  if (fontStyle == val) return;
  fontStyle = val;
  setDirty(true);
}

void CParamDisplay::draw(CDrawContext* context) {
  char string[256];
  string[0] = 0;
  if (stringConvert2)
    stringConvert2(value, string, userData);
  else if (stringConvert)
    stringConvert(value, string);
  else
    std::snprintf(string, sizeof string, "%2.2f", static_cast<double>(value));
  drawText(context, string);
}

void CParamDisplay::drawText(CDrawContext* context, const char* string) {
  // Clean from here on, even when nothing is drawn.
  setDirty(false);
  if (style & kStyleNoDraw) return;

  if (pBackground) {
    if (bTransparencyEnabled)
      pBackground->drawTransparent(context, size, backOffset);
    else
      pBackground->draw(context, size, backOffset);
  } else if (!bTransparencyEnabled) {
    context->setFillColor(backColor);
    context->fillRect(size);
    if (!(style & (kStyle3DIn | kStyle3DOut | kStyleNoFrame))) {
      context->setFrameColor(frameColor);
      context->frameRect(size);
    }
  }

  if (style & (kStyle3DIn | kStyle3DOut)) {
    // Light from the top left: a sunken edge is dark there, a raised one bright.
    const CRect r(size.left, size.top + 1, size.right - 1, size.bottom - 1);
    const bool sunken = (style & kStyle3DIn) != 0;
    context->setLineWidth(1);
    context->setFrameColor(sunken ? backColor : frameColor);
    context->moveTo(CPoint(r.left, r.bottom));
    context->lineTo(CPoint(r.left, r.top));
    context->lineTo(CPoint(r.right, r.top));
    context->setFrameColor(sunken ? frameColor : backColor);
    context->moveTo(CPoint(r.right, r.top));
    context->lineTo(CPoint(r.right, r.bottom));
    context->lineTo(CPoint(r.left, r.bottom));
  }

  if (!(style & kStyleNoText) && string) {
    CRect oldClip;
    context->getClipRect(oldClip);
    CRect clip = size;
    context->setClipRect(clip.bound(oldClip));
    context->setFont(fontID, fontStyle);
    const std::int16_t opaque = bTextTransparencyEnabled ? 0 : 1;
    if (style & kStyleShadowText) {
      CRect shadow = size;
      shadow.offset(1, 1);
      context->setFontColor(shadowColor);
      context->drawString(string, shadow, opaque, horiTxtAlign);
    }
    context->setFontColor(fontColor);
    context->drawString(string, size, opaque, horiTxtAlign);
    context->setClipRect(oldClip);
  }
}

}  // namespace VSTGUI
