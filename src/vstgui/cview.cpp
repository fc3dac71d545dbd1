#include "vstgui/cview.h"

#include <cstring>

#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cframe.h"

namespace VSTGUI {

const char* const kMsgCheckIfViewContainer = "kMsgCheckIfViewContainer";

CView::CView(const CRect& size) : size(size), mouseableArea(size) {}

CView::~CView() {
  if (pBackground) pBackground->forget();
}

bool CView::nameIs(const char* name, const char* className) {
  return name && std::strcmp(name, className) == 0;
}

void CView::draw(CDrawContext* context) {
  if (pBackground) {
    if (bTransparencyEnabled)
      pBackground->drawTransparent(context, size);
    else
      pBackground->draw(context, size);
  }
  setDirty(false);
}

void CView::drawRect(CDrawContext* context, const CRect& /*updateRect*/) { draw(context); }

bool CView::checkUpdate(const CRect& r) const {
  if (r.right < size.left || r.left > size.right || r.bottom < size.top) return false;
  return r.top <= size.bottom;
}

void CView::mouse(CDrawContext* /*context*/, CPoint& /*where*/, std::int32_t /*buttons*/) {}

void CView::setBackground(CBitmap* background) {
  // The new one is held before the old one is let go: they may be the same picture.
  if (background) background->remember();
  if (pBackground) pBackground->forget();
  pBackground = background;
  setDirty(true);
}

std::int32_t CView::onKeyDown(VstKeyCode& /*keyCode*/) { return kKeyNotHandled; }
std::int32_t CView::onKeyUp(VstKeyCode& /*keyCode*/) { return kKeyNotHandled; }

bool CView::onWheel(CDrawContext* context, const CPoint& where, std::int32_t /*axis*/, float distance) {
  return onWheel(context, where, distance);
}

bool CView::onWheel(CDrawContext* /*context*/, const CPoint& /*where*/, float /*distance*/) { return false; }

bool CView::onDrop(CDrawContext*, CDragContainer*, const CPoint&) { return false; }
void CView::onDragEnter(CDrawContext*, CDragContainer*, const CPoint&) {}
void CView::onDragLeave(CDrawContext*, CDragContainer*, const CPoint&) {}
void CView::onDragMove(CDrawContext*, CDragContainer*, const CPoint&) {}
void CView::looseFocus(CDrawContext*) {}
void CView::takeFocus(CDrawContext*) {}

CRect& CView::getMouseableArea(CRect& rect) const {
  rect = mouseableArea;
  return rect;
}

bool CView::hitTest(const CPoint& where, std::int32_t /*buttons*/) {
  return mouseableArea.pointInside(where);
}

void CView::setViewSize(CRect& rect) {
  size = rect;
  setDirty(true);
}

CRect& CView::getViewSize(CRect& rect) const {
  rect = size;
  return rect;
}

bool CView::removed(CView* /*parent*/) { return true; }
bool CView::attached(CView* /*parent*/) { return true; }

void CView::getMouseLocation(CDrawContext* context, CPoint& point) {
  if (!context) return;
  if (pParentView && pParentView->notify(this, kMsgCheckIfViewContainer) == 1) {
    // The parent answers in its own parent's system, so the context moves into the parent first.
    const CRect& parentSize = pParentView->getViewSize();
    const CPoint oldOffset = context->offset;
    const CPoint oldScreen = context->offsetScreen;
    context->offset.x += parentSize.left;
    context->offset.y += parentSize.top;
    context->offsetScreen.x += parentSize.left;
    context->offsetScreen.y += parentSize.top;
    pParentView->getMouseLocation(context, point);
    context->offset = oldOffset;
    context->offsetScreen = oldScreen;
    return;
  }
  context->getMouseLocation(point);
}

CPoint& CView::frameToLocal(CPoint& point) const {
  if (pParentView && pParentView->isTypeOf("CViewContainer")) return pParentView->frameToLocal(point);
  return point;
}

CPoint& CView::localToFrame(CPoint& point) const {
  if (pParentView && pParentView->isTypeOf("CViewContainer")) return pParentView->localToFrame(point);
  return point;
}

AEffGUIEditor* CView::getEditor() const { return pParentFrame ? pParentFrame->getEditor() : nullptr; }

std::int32_t CView::notify(CView* /*sender*/, const char* /*message*/) { return 0; }

void CView::redrawRect(CDrawContext* context, const CRect& rect) {
  if (pParentView)
    pParentView->redrawRect(context, rect);
  else if (pParentFrame)
    pParentFrame->drawRect(context, rect);
}

bool CView::isTypeOf(const char* name) const { return nameIs(name, "CView"); }

void CView::update(CDrawContext* context) {
  if (!isDirty()) return;
  if (context)
    redrawRect(context, size);
  else if (pParentFrame)
    pParentFrame->drawView(this);
  setDirty(false);
}

}  // namespace VSTGUI
