#include "vstgui/cviewcontainer.h"

#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cframe.h"

namespace VSTGUI {
namespace {

// Moves both offsets of a context by a point for the life of the object.
class OffsetShift {
 public:
  OffsetShift(CDrawContext* context, const CPoint& by) : context(context) {
    if (!context) return;
    oldOffset = context->offset;
    oldScreen = context->offsetScreen;
    context->offset.x += by.x;
    context->offset.y += by.y;
    context->offsetScreen.x += by.x;
    context->offsetScreen.y += by.y;
  }
  ~OffsetShift() {
    if (!context) return;
    context->offset = oldOffset;
    context->offsetScreen = oldScreen;
  }
  OffsetShift(const OffsetShift&) = delete;
  OffsetShift& operator=(const OffsetShift&) = delete;

 private:
  CDrawContext* context;
  CPoint oldOffset;
  CPoint oldScreen;
};

CRect bounded(CRect rect, const CRect& by) { return rect.bound(by); }

}  // namespace

CViewContainer::CViewContainer(const CRect& size) : CView(size) { setDirty(true); }

CViewContainer::~CViewContainer() {
  releaseChildren(true);
  if (pOffscreenContext) pOffscreenContext->forget();
}

// --- children ---

void CViewContainer::addView(CView* view, const CRect& mouseableArea, bool mouseEnabled) {
  if (!view) return;
  view->setMouseEnabled(mouseEnabled);
  view->setMouseableArea(mouseableArea);
  addView(view);
}

void CViewContainer::addView(CView* view) {
  if (!view) return;
  auto* entry = new CCView{view};
  view->remember();
  view->setParentFrame(pParentFrame);
  view->setParentView(this);
  entry->pPrevious = pLastView;
  if (pLastView)
    pLastView->pNext = entry;
  else
    pFirstView = entry;
  pLastView = entry;
  view->attached(this);
  view->setDirty(true);
}

void CViewContainer::dropFocusWithin(CView* view) {
  if (!pParentFrame) return;
  for (CView* v = pParentFrame->getFocusView(); v; v = v->getParentView()) {
    if (v == view) {
      pParentFrame->setFocusView(nullptr);
      return;
    }
  }
}

void CViewContainer::removeView(CView* view, bool withForget) {
  dropFocusWithin(view);
  CCView* entry = pFirstView;
  while (entry && entry->pView != view) entry = entry->pNext;
  if (!entry) return;
  view->removed(this);
  if (withForget) view->forget();
  (entry->pPrevious ? entry->pPrevious->pNext : pFirstView) = entry->pNext;
  (entry->pNext ? entry->pNext->pPrevious : pLastView) = entry->pPrevious;
  view->forget();
  delete entry;
}

void CViewContainer::removeAll(bool withForget) {
  for (CCView* entry = pFirstView; entry; entry = entry->pNext) dropFocusWithin(entry->pView);
  releaseChildren(withForget);
}

void CViewContainer::releaseChildren(bool withForget) {
  CCView* entry = pFirstView;
  pFirstView = pLastView = nullptr;
  while (entry) {
    CCView* next = entry->pNext;
    entry->pView->removed(this);
    if (withForget) entry->pView->forget();
    entry->pView->forget();
    delete entry;
    entry = next;
  }
}

bool CViewContainer::isChild(CView* view) const {
  for (CCView* entry = pFirstView; entry; entry = entry->pNext)
    if (entry->pView == view) return true;
  return false;
}

std::int32_t CViewContainer::getNbViews() const {
  std::int32_t count = 0;
  for (CCView* entry = pFirstView; entry; entry = entry->pNext) ++count;
  return count;
}

CView* CViewContainer::getView(std::int32_t index) const {
  if (index < 0) return nullptr;
  CCView* entry = pFirstView;
  for (; entry && index > 0; --index) entry = entry->pNext;
  return entry ? entry->pView : nullptr;
}

// --- drawing ---

void CViewContainer::setBackgroundColor(const CColor& color) {
  backgroundColor = color;
  setDirty(true);
}

void CViewContainer::drawBackground(CDrawContext* context, const CRect& destination) {
  if (pBackground) {
    if (bTransparencyEnabled)
      pBackground->drawTransparent(context, destination, backgroundOffset);
    else
      pBackground->draw(context, destination, backgroundOffset);
  } else if (!bTransparencyEnabled) {
    context->setFillColor(backgroundColor);
    context->fillRect(destination);
  }
}

void CViewContainer::drawBackgroundRect(CDrawContext* context, const CRect& rect) {
  if (!context) return;
  if (!pBackground) return drawBackground(context, rect);
  CRect q;
  context->getClipRect(q);
  context->setClipRect(bounded(rect, q));
  drawBackground(context, CRect(0, 0, pBackground->getWidth(), pBackground->getHeight()));
  context->setClipRect(q);
}

void CViewContainer::draw(CDrawContext* context) {
  if (!context) return;
  {
    OffsetShift shift(context, CPoint(size.left, size.top));
    const CRect r = localRect();
    CRect q;
    context->getClipRect(q);
    context->setClipRect(bounded(r, q));
    drawBackground(context, r);
    // Bounded by the incoming clip, not by this container: a child reaching outside still shows.
    for (CCView* entry = pFirstView; entry; entry = entry->pNext) {
      context->setClipRect(bounded(entry->pView->getViewSize(), q));
      entry->pView->draw(context);
    }
    context->setClipRect(q);
  }
  setDirty(false);
}

void CViewContainer::drawRect(CDrawContext* context, const CRect& updateRect) {
  if (!context) return;
  CRect local = bounded(updateRect, size);
  local.offset(-size.left, -size.top);
  {
    OffsetShift shift(context, CPoint(size.left, size.top));
    CRect q;
    context->getClipRect(q);
    const CRect n = bounded(local, q);
    context->setClipRect(n);
    drawBackgroundRect(context, local);
    for (CCView* entry = pFirstView; entry; entry = entry->pNext) {
      CView* child = entry->pView;
      if (!child->checkUpdate(local)) continue;
      const CRect k = bounded(child->getViewSize(), n);
      if (k.width() == 0 || k.height() == 0) continue;
      context->setClipRect(k);
      const bool wasDirty = child->isDirty();
      child->drawRect(context, local);
      // Drawn only in part: the next update draws it whole.
      if (wasDirty && child->getViewSize() != k && !isTypeOf("CScrollContainer")) child->setDirty(true);
    }
    context->setClipRect(q);
  }
  setDirty(false);
}

bool CViewContainer::isDirty() const {
  if (bDirty) return true;
  const CRect inside = localRect();
  for (CCView* entry = pFirstView; entry; entry = entry->pNext) {
    if (!entry->pView->isDirty()) continue;
    const CRect visible = bounded(entry->pView->getViewSize(), inside);
    if (visible.width() > 0 && visible.height() > 0) return true;
  }
  return false;
}

void CViewContainer::update(CDrawContext* context) {
  const CRect all = localRect();
  if (mode == kNormalUpdate) {
    if (!isDirty()) return;
    redrawRect(context, all);
    setDirty(false);
  } else if (mode == kOnlyDirtyUpdate) {
    if (bDirty) {
      redrawRect(context, all);
      setDirty(false);
      return;
    }
    for (CCView* entry = pFirstView; entry; entry = entry->pNext) {
      CView* child = entry->pView;
      if (!child->isDirty() || !child->checkUpdate(all)) continue;
      if (child->notify(this, kMsgCheckIfViewContainer))
        child->update(context);
      else
        child->redrawRect(context, bounded(child->getViewSize(), all));
    }
    setDirty(false);
  }
}

void CViewContainer::redrawRect(CDrawContext* context, const CRect& rect) {
  CRect moved = rect;
  moved.offset(size.left, size.top);
  if (bTransparencyEnabled) {
    // The opaque ancestor below draws the area.
    if (pParentView)
      pParentView->redrawRect(context, moved);
    else if (pParentFrame)
      pParentFrame->drawRect(context, moved);
    return;
  }
  if (!pParentView) return drawRect(context, moved);
  // Below the frame there is no context of our own to fall back on.
  if (!context) return;
  CPoint origin;
  pParentView->localToFrame(origin);
  OffsetShift shift(context, origin);
  drawRect(context, moved);
}

// --- events ---

void CViewContainer::mouse(CDrawContext* context, CPoint& where, std::int32_t buttons) {
  CPoint local(where.x - size.left, where.y - size.top);
  if (buttons == kButtonsUnknown && context) buttons = context->getMouseButtons();
  for (CCView* entry = pLastView; entry; entry = entry->pPrevious) {
    CView* child = entry->pView;
    if (child->getMouseEnabled() && child->hitTest(local, buttons)) {
      child->mouse(context, local, buttons);
      return;
    }
  }
}

std::int32_t CViewContainer::onKeyDown(VstKeyCode& keyCode) {
  for (CCView* entry = pLastView; entry; entry = entry->pPrevious) {
    const std::int32_t result = entry->pView->onKeyDown(keyCode);
    if (result != kKeyNotHandled) return result;
  }
  return kKeyNotHandled;
}

std::int32_t CViewContainer::onKeyUp(VstKeyCode& keyCode) {
  for (CCView* entry = pLastView; entry; entry = entry->pPrevious) {
    const std::int32_t result = entry->pView->onKeyUp(keyCode);
    if (result != kKeyNotHandled) return result;
  }
  return kKeyNotHandled;
}

bool CViewContainer::onWheel(CDrawContext* context, const CPoint& where, float distance) {
  return onWheel(context, where, 1, distance);
}

bool CViewContainer::onWheel(CDrawContext* context, const CPoint& where, std::int32_t axis, float distance) {
  CView* view = getViewAt(where, false);
  if (!view) return false;
  const CPoint local(where.x - size.left, where.y - size.top);
  OffsetShift shift(context, CPoint(size.left, size.top));
  return view->onWheel(context, local, axis, distance);
}

void CViewContainer::onDragEnter(CDrawContext* context, CDragContainer* drag, const CPoint& where) {
  if (!pParentFrame) return;
  OffsetShift shift(context, CPoint(size.left, size.top));
  const CPoint local(where.x - size.left, where.y - size.top);
  if (currentDragView) currentDragView->onDragLeave(context, drag, local);
  currentDragView = getViewAt(where, false);
  if (currentDragView) currentDragView->onDragEnter(context, drag, local);
}

void CViewContainer::onDragMove(CDrawContext* context, CDragContainer* drag, const CPoint& where) {
  if (!pParentFrame) return;
  OffsetShift shift(context, CPoint(size.left, size.top));
  const CPoint local(where.x - size.left, where.y - size.top);
  CView* view = getViewAt(where, false);
  if (view != currentDragView) {
    if (currentDragView) currentDragView->onDragLeave(context, drag, local);
    if (view) view->onDragEnter(context, drag, local);
    currentDragView = view;
  } else if (currentDragView) {
    currentDragView->onDragMove(context, drag, local);
  }
}

void CViewContainer::onDragLeave(CDrawContext* context, CDragContainer* drag, const CPoint& where) {
  if (!pParentFrame) return;
  OffsetShift shift(context, CPoint(size.left, size.top));
  const CPoint local(where.x - size.left, where.y - size.top);
  if (currentDragView) currentDragView->onDragLeave(context, drag, local);
  currentDragView = nullptr;
}

bool CViewContainer::onDrop(CDrawContext* context, CDragContainer* drag, const CPoint& where) {
  if (!pParentFrame) return false;
  OffsetShift shift(context, CPoint(size.left, size.top));
  const CPoint local(where.x - size.left, where.y - size.top);
  CView* view = getViewAt(where, false);
  if (view != currentDragView) {
    if (currentDragView) currentDragView->onDragLeave(context, drag, local);
    currentDragView = view;
  }
  bool result = false;
  if (currentDragView) {
    result = currentDragView->onDrop(context, drag, local);
    currentDragView->onDragLeave(context, drag, local);
  }
  currentDragView = nullptr;
  return result;
}

void CViewContainer::looseFocus(CDrawContext* context) {
  for (CCView* entry = pFirstView; entry; entry = entry->pNext) entry->pView->looseFocus(context);
}

void CViewContainer::takeFocus(CDrawContext* context) {
  for (CCView* entry = pFirstView; entry; entry = entry->pNext) entry->pView->takeFocus(context);
}

// --- lookups, coordinates, focus ---

CView* CViewContainer::getViewAt(const CPoint& where, bool deep) const {
  if (!pParentFrame) return nullptr;
  const CPoint local(where.x - size.left, where.y - size.top);
  for (CCView* entry = pLastView; entry; entry = entry->pPrevious) {
    CView* child = entry->pView;
    CRect area;
    if (!child->getMouseableArea(area).pointInside(local)) continue;
    if (deep && child->isTypeOf("CViewContainer"))
      return static_cast<CViewContainer*>(child)->getViewAt(local, deep);
    return child;
  }
  return nullptr;
}

CView* CViewContainer::getCurrentView() const {
  if (!pParentFrame) return nullptr;
  CPoint where;
  pParentFrame->getCurrentLocation(where);
  frameToLocal(where);
  for (CCView* entry = pLastView; entry; entry = entry->pPrevious) {
    CRect area;
    if (entry->pView->getMouseableArea(area).pointInside(where)) return entry->pView;
  }
  return nullptr;
}

CPoint& CViewContainer::frameToLocal(CPoint& point) const {
  point.x -= size.left;
  point.y -= size.top;
  if (pParentView && pParentView->isTypeOf("CViewContainer")) return pParentView->frameToLocal(point);
  return point;
}

CPoint& CViewContainer::localToFrame(CPoint& point) const {
  point.x += size.left;
  point.y += size.top;
  if (pParentView && pParentView->isTypeOf("CViewContainer")) return pParentView->localToFrame(point);
  return point;
}

bool CViewContainer::advanceNextFocusView(CView* oldFocus, bool reverse) {
  CCView* entry = reverse ? pLastView : pFirstView;
  auto step = [reverse](CCView* e) { return reverse ? e->pPrevious : e->pNext; };
  if (oldFocus) {
    while (entry && entry->pView != oldFocus) entry = step(entry);
    if (!entry) return false;
    entry = step(entry);
  }
  for (; entry; entry = step(entry)) {
    CView* child = entry->pView;
    if (child->wantsFocus()) {
      if (pParentFrame) pParentFrame->setFocusView(child);
      return true;
    }
    if (child->isTypeOf("CViewContainer") &&
        static_cast<CViewContainer*>(child)->advanceNextFocusView(nullptr, reverse))
      return true;
  }
  return false;
}

// --- the rest ---

void CViewContainer::setViewSize(CRect& rect) { CView::setViewSize(rect); }

bool CViewContainer::removed(CView* /*parent*/) {
  if (pOffscreenContext) {
    pOffscreenContext->forget();
    pOffscreenContext = nullptr;
  }
  return true;
}

bool CViewContainer::attached(CView* /*parent*/) { return true; }

std::int32_t CViewContainer::notify(CView* /*sender*/, const char* message) {
  return message == kMsgCheckIfViewContainer ? 1 : 0;
}

bool CViewContainer::isTypeOf(const char* name) const {
  return nameIs(name, "CViewContainer") || CView::isTypeOf(name);
}

void CViewContainer::useOffscreen(bool offscreen) {
  bDrawInOffscreen = offscreen;
  if (!offscreen && pOffscreenContext) {
    pOffscreenContext->forget();
    pOffscreenContext = nullptr;
  }
}

}  // namespace VSTGUI
