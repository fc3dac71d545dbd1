// Views that carry a value: the value model with its range and default, the dirty test against the
// value last drawn, the edit bracket that tells the host when a user gesture begins and ends, and
// the listener through which a control reports what the user changed.
#pragma once

#include <cstdint>

#include "vstgui/cview.h"

namespace VSTGUI {

class CControl;

// Presses with any of these go to the listener's modifierClicked first. 64 never comes from
// getMouseButtons here, but a listener may still see it from elsewhere.
inline constexpr std::int32_t kModifierMask = kModifierShift | kModifierControl | kModifierAlt | 64;

class CControlListener {
 public:
  virtual void valueChanged(CDrawContext* context, CControl* control) = 0;
  // Non-zero: the listener took the press and the control does nothing more.
  virtual std::int32_t modifierClicked(CDrawContext* context, CControl* control, std::int32_t button);

 protected:
  // Listeners are owned as whatever they really are (an editor), never through this interface.
  ~CControlListener() = default;
};

class CControl : public CView {
 public:
  CControl(const CRect& size, CControlListener* listener = nullptr, std::int32_t tag = 0,
           CBitmap* background = nullptr);
  ~CControl() override;

  void draw(CDrawContext* context) override = 0;
  bool isDirty() const override;
  void setDirty(bool dirty = true) override;
  bool isTypeOf(const char* name) const override;

  virtual void doIdleStuff();
  virtual void setValue(float val) { value = val; }
  virtual float getValue() const { return value; }
  virtual void setMin(float val) { vmin = val; }
  virtual float getMin() const { return vmin; }
  virtual void setMax(float val) { vmax = val; }
  virtual float getMax() const { return vmax; }
  virtual void setOldValue(float val) { oldValue = val; }
  virtual float getOldValue() const { return oldValue; }
  virtual void setDefaultValue(float val) { defaultValue = val; }
  virtual float getDefaultValue() const { return defaultValue; }
  virtual void setTag(std::int32_t val) { tag = val; }
  virtual std::int32_t getTag() const { return tag; }
  virtual void beginEdit();
  virtual void endEdit();
  virtual void setBackOffset(const CPoint& offset) { backOffset = offset; }
  virtual void alignBackOffset() { backOffset = CPoint(size.left, size.top); }
  virtual void setWheelIncrement(float increment) { wheelInc = increment; }
  virtual float getWheelIncrement() const { return wheelInc; }
  virtual void clampValue();
  virtual bool checkDefaultClick(CDrawContext* context, std::int32_t button);

  CControlListener* getListener() const { return listener; }
  void setListener(CControlListener* l) { listener = l; }
  const CPoint& getBackOffset() const { return backOffset; }

 protected:
  CControlListener* listener;
  std::int32_t tag;
  float oldValue = 1.0f;
  float defaultValue = 0.5f;
  float value = 0.0f;
  float vmin = 0.0f;
  float vmax = 1.0f;
  float wheelInc = 0.1f;
  CPoint backOffset;
};

}  // namespace VSTGUI
