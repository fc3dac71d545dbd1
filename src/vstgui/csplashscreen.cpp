#include "vstgui/csplashscreen.h"

#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cframe.h"

namespace VSTGUI {

// --- CSplashScreen ---

CSplashScreen::CSplashScreen(const CRect& size, CControlListener* listener, std::int32_t tag,
                             CBitmap* background, const CRect& toDisplay, const CPoint& offset)
    : CControl(size, listener, tag, background), toDisplay(toDisplay), offset(offset) {
  value = 0.0f;
}

CSplashScreen::~CSplashScreen() {
  if (!pSplashView) return;
  CSplashScreenView* view = pSplashView;
  pSplashView = nullptr;
  view->detach();
  // A frame destroyed while the picture is shown drops its modal view without releasing it; the
  // one reference left is then the view's own, which nothing else would ever give back.
  if (view->getNbReference() == 1) view->forget();
}

bool CSplashScreen::isTypeOf(const char* name) const {
  return nameIs(name, "CSplashScreen") || CControl::isTypeOf(name);
}

bool CSplashScreen::hitTest(const CPoint& where, std::int32_t buttons) {
  // Other buttons pass through to whatever lies below.
  return mouseableArea.pointInside(where) && (buttons & kButtonLeft);
}

void CSplashScreen::mouse(CDrawContext* context, CPoint& /*where*/, std::int32_t buttons) {
  if (!bMouseEnabled) return;
  if (buttons == kButtonsUnknown) buttons = context ? context->getMouseButtons() : 0;
  if (listener && (buttons & kModifierMask)) {
    if (listener->modifierClicked(context, this, buttons) != 0) return;
  }
  if (!(buttons & kButtonLeft)) return;

  value = value == 0.0f ? 1.0f : 0.0f;
  if (value == 0.0f) return;

  auto* view = new CSplashScreenView(toDisplay, this);
  pSplashView = view;
  if (pParentFrame && pParentFrame->setModalView(view)) {
    if (listener) listener->valueChanged(context, this);
  } else {
    view->forget();  // refused: nothing holds it, and its destruction clears pSplashView
  }
  setDirty(true);
}

void CSplashScreen::draw(CDrawContext* context) {
  if (value != 0.0f && pBackground) {
    if (bTransparencyEnabled)
      pBackground->drawAlphaBlend(context, toDisplay, offset, opacity);
    else
      pBackground->draw(context, toDisplay, offset);
  }
  setDirty(false);
}

void CSplashScreen::closeSplash(CDrawContext* context) {
  if (value == 0.0f) return;
  value = 0.0f;
  if (listener) listener->valueChanged(context, this);
}

// --- CSplashScreenView ---

CSplashScreenView::CSplashScreenView(const CRect& size, CSplashScreen* splashScreen)
    : CView(size), pSplashScreen(splashScreen) {
  if (pSplashScreen) {
    sourceOffset = pSplashScreen->getSourceOffset();
    opacity = pSplashScreen->getOpacity();
    setTransparency(pSplashScreen->getTransparency());
    setBackground(pSplashScreen->getBackground());
  }
  setDirty(true);
}

CSplashScreenView::~CSplashScreenView() {
  if (pSplashScreen && pSplashScreen->pSplashView == this) pSplashScreen->pSplashView = nullptr;
}

void CSplashScreenView::detach() {
  if (!pSplashScreen) return;
  sourceOffset = pSplashScreen->getSourceOffset();
  opacity = pSplashScreen->getOpacity();
  pSplashScreen = nullptr;
}

void CSplashScreenView::draw(CDrawContext* context) {
  const CPoint source = pSplashScreen ? pSplashScreen->getSourceOffset() : sourceOffset;
  const std::uint8_t alpha = pSplashScreen ? pSplashScreen->getOpacity() : opacity;
  if (pBackground) {
    if (bTransparencyEnabled)
      pBackground->drawAlphaBlend(context, size, source, alpha);
    else
      pBackground->draw(context, size, source);
  }
  setDirty(false);
}

void CSplashScreenView::mouse(CDrawContext* context, CPoint& /*where*/, std::int32_t buttons) {
  if (!(buttons & kButtonLeft)) return;
  if (pSplashScreen) pSplashScreen->closeSplash(context);
  if (pParentFrame) {
    pParentFrame->setDirty(true);  // the whole window comes back at the next idle pass
    pParentFrame->setModalView(nullptr);
  }
  forget();  // the last reference: nothing may touch this view after here
}

}  // namespace VSTGUI
