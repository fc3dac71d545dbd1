// Rotary controls. The value maps linearly onto an arc of angles around the knob's centre; a knob
// follows the mouse by the pointer's angle (circular mode) or by the distance dragged (linear
// mode), steps with the wheel and the arrow keys, and draws a background with a handle line or a
// handle bitmap. CAnimKnob draws one frame of a film strip instead.
#pragma once

#include <cstdint>

#include "vstgui/ccontrol.h"

namespace VSTGUI {

// The frame's knob mode that selects linear tracking; Alt swaps the two modes.
inline constexpr std::int32_t kLinearMode = 2;

class CKnob : public CControl {
 public:
  CKnob(const CRect& size, CControlListener* listener, std::int32_t tag, CBitmap* background,
        const CPoint& offset = CPoint());
  ~CKnob() override;

  using CControl::onWheel;
  void draw(CDrawContext* context) override;
  void mouse(CDrawContext* context, CPoint& where, std::int32_t buttons = kButtonsUnknown) override;
  std::int32_t onKeyDown(VstKeyCode& keyCode) override;
  bool onWheel(CDrawContext* context, const CPoint& where, float distance) override;
  bool isTypeOf(const char* name) const override;

  virtual void drawHandle(CDrawContext* context);
  virtual void setStartAngle(float angle);
  virtual float getStartAngle() const { return startAngle; }
  virtual void setRangeAngle(float angle);
  virtual float getRangeAngle() const { return rangeAngle; }
  // The handle point of the current value, relative to the knob's top-left corner.
  virtual void valueToPoint(CPoint& point) const;
  // The value of the point's angle; the point is relative to the knob's top-left corner.
  virtual float valueFromPoint(CPoint& point) const;
  virtual void setInset(std::int32_t value) { inset = value; }
  virtual void setHandleShadowColor(const CColor& color);
  virtual void setHandleColor(const CColor& color);
  virtual void setHandleBitmap(CBitmap* bitmap);
  virtual void setZoomFactor(float factor) { zoomFactor = factor; }
  virtual float getZoomFactor() const { return zoomFactor; }

  std::int32_t getInset() const { return inset; }
  CColor getHandleColor() const { return colorHandle; }
  CColor getHandleShadowColor() const { return colorShadowHandle; }
  CBitmap* getHandleBitmap() const { return pHandle; }
  const CPoint& getBitmapOffset() const { return offset; }

 protected:
  // The value mapping is derived from the angles and the range as they are at this moment.
  void compute();

  CPoint offset;
  CColor colorHandle = kColorWhite;
  CColor colorShadowHandle = kColorGrey;
  CBitmap* pHandle = nullptr;
  std::int32_t inset = 3;
  float startAngle = 0.0f;
  float rangeAngle = 1.0f;
  float halfAngle = 0.0f;
  float aCoef = 0.0f;
  float bCoef = 0.0f;
  float radius = 0.0f;
  float zoomFactor = 1.5f;
};

class CAnimKnob : public CKnob {
 public:
  CAnimKnob(const CRect& size, CControlListener* listener, std::int32_t tag, std::int32_t subPixmaps,
            std::int32_t heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint());
  ~CAnimKnob() override;

  void draw(CDrawContext* context) override;
  bool isDirty() const override;
  bool isTypeOf(const char* name) const override;

  // The top of the film-strip frame the current value shows.
  std::int32_t frameOffset() const;
  std::int32_t getFrameCount() const { return subPixmaps; }
  std::int32_t getFrameHeight() const { return heightOfOneImage; }
  const CPoint& getLastDrawnPoint() const { return lastDrawnPoint; }

 protected:
  std::int32_t subPixmaps;
  std::int32_t heightOfOneImage;
  CPoint lastDrawnPoint;
};

}  // namespace VSTGUI
