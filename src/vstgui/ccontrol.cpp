#include "vstgui/ccontrol.h"

#include "vstgui/cframe.h"

namespace VSTGUI {
namespace {

constexpr std::int32_t kDefaultClick = kButtonLeft | kModifierControl;

}  // namespace

std::int32_t CControlListener::modifierClicked(CDrawContext*, CControl*, std::int32_t) { return 0; }

CControl::CControl(const CRect& size, CControlListener* listener, std::int32_t tag, CBitmap* background)
    : CView(size), listener(listener), tag(tag) {
  setMouseEnabled(true);
  setTransparency(false);
  setBackground(background);
  setDirty(true);
}

CControl::~CControl() = default;

bool CControl::isDirty() const {
  // A NaN value never equals the old one, so it always counts as changed.
  return value != oldValue || CView::isDirty();
}

void CControl::setDirty(bool dirty) {
  CView::setDirty(dirty);
  if (dirty)
    oldValue = value == -1.0f ? 0.0f : -1.0f;  // anything but the value itself
  else
    oldValue = value;
}

bool CControl::isTypeOf(const char* name) const { return nameIs(name, "CControl") || CView::isTypeOf(name); }

void CControl::doIdleStuff() {
  if (pParentFrame) pParentFrame->doIdleStuff();
}

void CControl::beginEdit() {
  // Only mouse, wheel and key handling brackets edits, and those reach a control through its
  // frame; the test keeps a stray call on a loose control harmless.
  if (!pParentFrame) return;
  pParentFrame->setFocusView(this);
  pParentFrame->beginEdit(tag);
}

void CControl::endEdit() {
  if (pParentFrame) pParentFrame->endEdit(tag);
}

void CControl::clampValue() {
  // The maximum wins the first test, so an inverted range still ends somewhere defined.
  if (value > vmax)
    value = vmax;
  else if (value < vmin)
    value = vmin;
}

bool CControl::checkDefaultClick(CDrawContext* context, std::int32_t button) {
  if (button != kDefaultClick) return false;
  beginEdit();
  value = getDefaultValue();
  if (isDirty() && listener) listener->valueChanged(context, this);
  endEdit();
  return true;
}

}  // namespace VSTGUI
