#include "vstgui/cframe.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "editor/aeffguieditor.h"
#include "host/audioeffectx.h"
#include "platform/input.h"
#include "platform/module.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cdroptarget.h"

namespace VSTGUI {
namespace {

// Shared by every frame of the process; every loaded copy of the library has its own class name.
char gClassName[64] = {};
// The same name as the platform takes it, made once: giving the class back must not allocate,
// since it also runs when a frame could not be made for want of memory.
std::string gClassNameText;
std::int32_t gClassUseCount = 0;
ImagingEntryPoints gImaging;

// A parent this much larger than what has been accumulated belongs to the host, not to us.
constexpr int kHostParentMargin = 80;
constexpr int kOuterWindowMargin = 60;

CRect bounded(CRect rect, const CRect& by) { return rect.bound(by); }

// The plug-in interface's key record for a key of the window, made as a host makes it for the
// editor's key requests: the named key's virtual code or the character, and the modifiers.
VstKeyCode keyCodeOf(const platform::Message& message) {
  using platform::NamedKey;
  static constexpr std::pair<NamedKey, VstVirtualKey> kVirtualKeys[] = {
      {NamedKey::backspace, VKEY_BACK},
      {NamedKey::tab, VKEY_TAB},
      {NamedKey::clear, VKEY_CLEAR},
      {NamedKey::returnKey, VKEY_RETURN},
      {NamedKey::pause, VKEY_PAUSE},
      {NamedKey::escape, VKEY_ESCAPE},
      {NamedKey::space, VKEY_SPACE},
      {NamedKey::end, VKEY_END},
      {NamedKey::home, VKEY_HOME},
      {NamedKey::left, VKEY_LEFT},
      {NamedKey::up, VKEY_UP},
      {NamedKey::right, VKEY_RIGHT},
      {NamedKey::down, VKEY_DOWN},
      {NamedKey::pageUp, VKEY_PAGEUP},
      {NamedKey::pageDown, VKEY_PAGEDOWN},
      {NamedKey::print, VKEY_PRINT},
      {NamedKey::insert, VKEY_INSERT},
      {NamedKey::deleteKey, VKEY_DELETE},
      {NamedKey::help, VKEY_HELP},
      {NamedKey::keypad0, VKEY_NUMPAD0},
      {NamedKey::keypad1, VKEY_NUMPAD1},
      {NamedKey::keypad2, VKEY_NUMPAD2},
      {NamedKey::keypad3, VKEY_NUMPAD3},
      {NamedKey::keypad4, VKEY_NUMPAD4},
      {NamedKey::keypad5, VKEY_NUMPAD5},
      {NamedKey::keypad6, VKEY_NUMPAD6},
      {NamedKey::keypad7, VKEY_NUMPAD7},
      {NamedKey::keypad8, VKEY_NUMPAD8},
      {NamedKey::keypad9, VKEY_NUMPAD9},
      {NamedKey::keypadMultiply, VKEY_MULTIPLY},
      {NamedKey::keypadAdd, VKEY_ADD},
      {NamedKey::keypadSeparator, VKEY_SEPARATOR},
      {NamedKey::keypadSubtract, VKEY_SUBTRACT},
      {NamedKey::keypadDecimal, VKEY_DECIMAL},
      {NamedKey::keypadDivide, VKEY_DIVIDE},
      {NamedKey::keypadEnter, VKEY_ENTER},
      {NamedKey::keypadEquals, VKEY_EQUALS},
      {NamedKey::f1, VKEY_F1},
      {NamedKey::f2, VKEY_F2},
      {NamedKey::f3, VKEY_F3},
      {NamedKey::f4, VKEY_F4},
      {NamedKey::f5, VKEY_F5},
      {NamedKey::f6, VKEY_F6},
      {NamedKey::f7, VKEY_F7},
      {NamedKey::f8, VKEY_F8},
      {NamedKey::f9, VKEY_F9},
      {NamedKey::f10, VKEY_F10},
      {NamedKey::f11, VKEY_F11},
      {NamedKey::f12, VKEY_F12},
      {NamedKey::numLock, VKEY_NUMLOCK},
      {NamedKey::scrollLock, VKEY_SCROLL},
      {NamedKey::shift, VKEY_SHIFT},
      {NamedKey::control, VKEY_CONTROL},
      {NamedKey::alt, VKEY_ALT},
  };
  VstKeyCode code{0, 0, 0};
  if (message.key == NamedKey::none) code.character = static_cast<VstInt32>(message.character);
  for (const auto& [key, virt] : kVirtualKeys)
    if (key == message.key) code.virt = virt;
  if (message.keys & platform::keyBit(platform::Key::shift)) code.modifier |= MODIFIER_SHIFT;
  if (message.keys & platform::keyBit(platform::Key::alt)) code.modifier |= MODIFIER_ALTERNATE;
  if (message.keys & platform::keyBit(platform::Key::control)) code.modifier |= MODIFIER_CONTROL;
  return code;
}

// Marks the frame as busy with an event for as long as it lives.
class EventScope {
 public:
  explicit EventScope(bool& busy) : busy(busy), previous(busy) { busy = true; }
  ~EventScope() { busy = previous; }
  EventScope(const EventScope&) = delete;
  EventScope& operator=(const EventScope&) = delete;

 private:
  bool& busy;
  bool previous;
};

}  // namespace

const char* CFrame::getWindowClassName() { return gClassName; }
std::int32_t CFrame::getWindowClassUseCount() { return gClassUseCount; }
const ImagingEntryPoints& CFrame::getImagingEntryPoints() { return gImaging; }

CFrame::CFrame(const CRect& size, platform::WindowHandle systemWindow, AEffGUIEditor* editor)
    : CViewContainer(size), pEditor(editor), pSystemWindow(systemWindow) {
  pParentFrame = this;
  platform::startOle();
  // Without memory for the window or its helpers the frame is not made; what it had taken so far
  // (OLE, the imaging library, the window class, the window) is given back first.
  try {
    startUp();
  } catch (...) {
    release();
    throw;
  }
}

void CFrame::startUp() {
  gImaging.alphaBlend = false;
  gImaging.transparentCopy = false;
  const platform::ImagingLibrary imaging = platform::loadImagingLibrary();
  hImagingLibrary = imaging.handle;
  if (hImagingLibrary) {
    gImaging.alphaBlend = imaging.hasAlphaBlend;
    gImaging.version = {};
    if (platform::queryPlatformVersion(gImaging.version) && gImaging.version.platformId >= 2)
      gImaging.transparentCopy = imaging.hasTransparentCopy;
  }

  if (pSystemWindow) createWindow();
}

CFrame::~CFrame() { release(); }

void CFrame::release() {
  if (pModalView) removeView(pModalView, false);
  pModalView = nullptr;

  if (!defaultCursor) defaultCursor = platform::currentCursor(pHwnd);
  platform::setCurrentCursor(pHwnd, defaultCursor);

  if (bDropActive && pHwnd) {
    if (dropTarget) platform::revokeDropTarget(pHwnd);
    bDropActive = false;
  }
  releaseDropTarget();

  if (pFrameContext) pFrameContext->forget();
  platform::stopOle();
  if (pBackBuffer) pBackBuffer->forget();
  platform::releaseImagingLibrary(hImagingLibrary);

  if (pHwnd) {
    // Cleared first, so the window procedure does not take this for a destruction from outside.
    platform::setWindowUserData(pHwnd, nullptr);
    platform::destroyWindow(pHwnd);
  }
  if (bHoldsClassUse && --gClassUseCount == 0)
    platform::unregisterWindowClass(gClassNameText, platform::moduleHandle());
  // The container part releases the children.
}

// --- window ---

bool CFrame::registerWindowClass() {
  // Every frame with a window holds a use, whatever the registration answered: the class goes when
  // the last of them does.
  if (gClassUseCount == 0) {
    std::snprintf(gClassName, sizeof gClassName, "Plugin%p", platform::moduleHandle());
    gClassNameText = gClassName;
    platform::registerWindowClass(gClassNameText, platform::moduleHandle(), windowProcedure);
    recordSwappedMouseButtons();
  }
  ++gClassUseCount;
  return true;
}

bool CFrame::createWindow() {
  registerWindowClass();
  bHoldsClassUse = true;
  pHwnd = platform::createChildWindow(gClassNameText, "Window", pSystemWindow, size.width(), size.height());
  platform::setWindowUserData(pHwnd, this);
  setDropActive(true);
  return true;
}

long CFrame::windowProcedure(platform::WindowHandle window, const platform::Message& message) {
  using platform::MessageType;
  auto* frame = static_cast<CFrame*>(platform::windowUserData(window));
  if (!frame) return platform::defaultWindowProcedure(window, message);

  switch (message.type) {
    case MessageType::destroy:
      frame->setOpenFlag(false);
      frame->pSystemWindow = nullptr;
      frame->pHwnd = nullptr;  // gone with its parent; nothing may touch it any more
      frame->bDropActive = false;
      frame->releaseDropTarget();  // the window system drops its registration with the window
      break;
    case MessageType::paint: {
      platform::Rect damaged;
      if (!platform::windowUpdateRect(window, damaged)) break;
      frame->paint(window);
      return 0;
    }
    case MessageType::leftButtonDown:
    case MessageType::rightButtonDown:
    case MessageType::middleButtonDown: {
      EventScope inEvent(frame->bInEvent);
      CDrawContext* context = new CDrawContext(frame, nullptr, window);
      // The press may be handled after the user let go: what was held at it answers for it.
      context->setEventKeys(message.keys);
      // The position travels as two unsigned 16-bit words.
      CPoint where(static_cast<std::uint16_t>(message.point.x), static_cast<std::uint16_t>(message.point.y));
      frame->mouse(context, where, kButtonsUnknown);
      context->forget();
      return 0;
    }
    case MessageType::wheel: {
      EventScope inEvent(frame->bInEvent);
      CDrawContext* context = new CDrawContext(frame, nullptr, window);
      context->setEventKeys(message.keys);
      const platform::Rect outer = platform::windowScreenRect(window);
      const CPoint where(message.point.x - outer.left, message.point.y - outer.top);
      const float distance = static_cast<float>(static_cast<std::int16_t>(message.wheelDelta)) / 120.0f;
      frame->onWheel(context, where, distance);
      context->forget();
      break;
    }
    case MessageType::keyDown:
    case MessageType::keyUp: {
      // The same way as the host's key requests: used exactly when the tree answers 1; every other
      // key goes back to the host.
      EventScope inEvent(frame->bInEvent);
      VstKeyCode keyCode = keyCodeOf(message);
      const std::int32_t result =
          message.type == MessageType::keyDown ? frame->onKeyDown(keyCode) : frame->onKeyUp(keyCode);
      return result == 1 ? 1 : 0;
    }
    default:
      break;
  }
  return platform::defaultWindowProcedure(window, message);
}

void CFrame::paint(platform::WindowHandle window) {
  platform::Rect damaged;
  platform::Surface* surface = platform::beginPaint(window, damaged);
  const CRect rect(damaged.left, damaged.top, damaged.right, damaged.bottom);
  COffscreenContext* backBuffer = getBackBuffer();
  CDrawContext* target = backBuffer;
  if (!backBuffer) target = new CDrawContext(this, surface, window);
  drawRect(target, rect);
  if (backBuffer) {
    CDrawContext onWindow(this, surface, window);
    backBuffer->copyToContext(&onWindow, rect, CPoint(rect.left, rect.top));
  } else {
    target->forget();
  }
  platform::endPaint(window, surface);
}

platform::WindowHandle CFrame::getOuterWindow() const {
  platform::WindowHandle w = pHwnd;
  const platform::Rect frameRect = platform::windowScreenRect(pHwnd);
  while (w) {
    const platform::WindowHandle parent = platform::windowParent(w);
    if (platform::windowHasCaption(w) || !parent) return w;
    const platform::Rect p = platform::windowScreenRect(parent);
    if (std::abs(p.width() - frameRect.width()) > kOuterWindowMargin ||
        std::abs(p.height() - frameRect.height()) > kOuterWindowMargin)
      return w;
    w = parent;
  }
  return nullptr;
}

// --- drawing ---

CDrawContext* CFrame::createDrawContext() {
  if (pFrameContext) {
    pFrameContext->remember();
    return pFrameContext;
  }
  return new CDrawContext(this, nullptr, pHwnd);
}

COffscreenContext* CFrame::getBackBuffer() {
  if (!pBackBuffer) pBackBuffer = new COffscreenContext(this, size.width(), size.height(), kColorBlack);
  return pBackBuffer;
}

void CFrame::draw(CDrawContext* context) {
  bFirstDraw = false;
  if (!context) context = pFrameContext;
  CViewContainer::draw(context);
}

void CFrame::drawRect(CDrawContext* context, const CRect& updateRect) {
  bFirstDraw = false;
  const bool own = !context;
  if (own) context = createDrawContext();
  CRect q;
  context->getClipRect(q);
  context->setClipRect(bounded(updateRect, q));
  if (updateRect.width() > 0 && updateRect.height() > 0) CViewContainer::drawRect(context, updateRect);
  context->setClipRect(q);
  if (own) context->forget();
}

void CFrame::idle() {
  takeWindowEvents();
  if (!bOpenFlag || bFirstDraw || !isDirty()) return;
  CDrawContext* context = createDrawContext();
  update(context);
  context->forget();
}

// Where the plug-in reads its own window's events, they come in here. Inside an event (a knob
// following the mouse idles through the editor) nothing is taken, so no press reaches the tree
// inside another: the editor's idle pass then paints one waiting window of the thread, this one
// or another, and the rest waits for the next idle from the host.
void CFrame::takeWindowEvents() {
  if (!pHwnd || bInEvent) return;
  EventScope inEvent(bInEvent);
  platform::dispatchWindowEvents(pHwnd);
}

void CFrame::update(CDrawContext* context) {
  if (!bOpenFlag || bUpdatesDisabled) return;
  CDrawContext* kept = pFrameContext;
  COffscreenContext* backBuffer = getBackBuffer();
  pFrameContext = backBuffer;
  if (bDirty) {
    draw(backBuffer);
    setDirty(false);
  } else {
    CRect q;
    backBuffer->getClipRect(q);
    if (pModalView && pModalView->isDirty()) pModalView->update(backBuffer);
    for (CCView* entry = pFirstView; entry; entry = entry->pNext) {
      backBuffer->setClipRect(bounded(entry->pView->getViewSize(), q));
      entry->pView->update(backBuffer);
    }
    backBuffer->setClipRect(q);
  }
  backBuffer->copyToContext(context,
                            CRect(size.left, size.top, size.left + size.width(), size.top + size.height()));
  pFrameContext = kept;
}

void CFrame::drawView(CView* view) {
  CView* target = isChild(view) ? view : this;
  CDrawContext* context = createDrawContext();
  if (!context) return;
  target->draw(context);
  context->forget();
}

void CFrame::invalidate(const CRect& rect) {
  for (CCView* entry = pFirstView; entry; entry = entry->pNext) {
    const CRect& s = entry->pView->getViewSize();
    if (rect.right >= s.left && s.right >= rect.left && rect.bottom >= s.top && s.bottom >= rect.top)
      entry->pView->setDirty(true);
  }
}

bool CFrame::setUpdatesDisabled(bool disabled) {
  const bool previous = bUpdatesDisabled;
  bUpdatesDisabled = disabled;
  return previous;
}

// --- events ---

void CFrame::mouse(CDrawContext* context, CPoint& where, std::int32_t buttons) {
  if (!context) context = pFrameContext;
  if (pFocusView) setFocusView(nullptr);
  if (buttons == kButtonsUnknown && context) buttons = context->getMouseButtons();
  if (!pModalView) return CViewContainer::mouse(context, where, buttons);
  if (pModalView->hitTest(where, buttons)) pModalView->mouse(context, where, buttons);
}

std::int32_t CFrame::onKeyDown(VstKeyCode& keyCode) {
  if (pFocusView) {
    const std::int32_t result = pFocusView->onKeyDown(keyCode);
    if (result != kKeyNotHandled) return result;
  }
  if (pModalView) {
    const std::int32_t result = pModalView->onKeyDown(keyCode);
    if (result != kKeyNotHandled) return result;
  }
  if (keyCode.virt == VKEY_TAB)
    return advanceNextFocusView(pFocusView, (keyCode.modifier & MODIFIER_SHIFT) != 0) ? 1 : kKeyNotHandled;
  return kKeyNotHandled;
}

std::int32_t CFrame::onKeyUp(VstKeyCode& keyCode) {
  if (pFocusView) {
    const std::int32_t result = pFocusView->onKeyUp(keyCode);
    if (result != kKeyNotHandled) return result;
  }
  return pModalView ? pModalView->onKeyUp(keyCode) : kKeyNotHandled;
}

bool CFrame::onWheel(CDrawContext* context, const CPoint& where, std::int32_t axis, float distance) {
  CView* target = pModalView ? pModalView : getViewAt(where, false);
  if (!target) return false;
  const bool own = !context;
  if (own) context = createDrawContext();
  const bool result = target->onWheel(context, where, axis, distance);
  if (own) context->forget();
  return result;
}

// --- focus and modal view ---

void CFrame::setFocusView(CView* view) {
  CView* old = pFocusView;
  pFocusView = view;
  if (view && view->wantsFocus()) view->setDirty(true);
  if (old) {
    old->looseFocus(nullptr);
    if (old->wantsFocus()) old->setDirty(true);
  }
}

bool CFrame::advanceNextFocusView(CView* oldFocus, bool reverse) {
  if (pModalView) return false;
  if (!oldFocus) {
    if (!pFocusView) return CViewContainer::advanceNextFocusView(nullptr, reverse);
    oldFocus = pFocusView;
  }
  if (isChild(oldFocus)) {
    if (CViewContainer::advanceNextFocusView(oldFocus, reverse)) return true;
    setFocusView(nullptr);
    return false;
  }
  CView* current = oldFocus;
  for (CViewContainer* parent = oldFocus->getParentView(); parent && parent->isTypeOf("CViewContainer");
       parent = parent->getParentView()) {
    if (parent->advanceNextFocusView(current, reverse)) return true;
    current = parent;
  }
  return false;
}

bool CFrame::setModalView(CView* view) {
  if (pModalView && view) return false;
  if (pModalView) removeView(pModalView, false);
  pModalView = view;
  if (view) addView(view);
  return true;
}

CView* CFrame::getCurrentView() const { return pModalView ? pModalView : CViewContainer::getCurrentView(); }

// --- size and position ---

void CFrame::setViewSize(CRect& rect) { setSize(rect.width(), rect.height()); }

bool CFrame::setSize(std::int32_t width, std::int32_t height) {
  if (!bOpenFlag) return false;
  if (width == size.width() && height == size.height()) return false;
  if (pBackBuffer) pBackBuffer->forget();
  pBackBuffer = nullptr;

  auto* effect = pEditor ? dynamic_cast<AudioEffectX*>(pEditor->getEffect()) : nullptr;
  char capability[] = "sizeWindow";
  if (effect && effect->canHostDo(capability) && effect->sizeWindow(width, height)) {
    size.right = size.left + width;
    size.bottom = size.top + height;
    platform::resizeWindow(pHwnd, width, height);
    return true;
  }

  // The host would not do it: grow our window and the host's windows around it ourselves.
  size.right = size.left + width;
  size.bottom = size.top + height;
  const int border = 2 * platform::fixedFrameBorder();
  int dw = 0;
  int dh = 0;
  platform::WindowHandle w = pHwnd;
  while (dw != border && w) {
    const platform::WindowHandle parent = platform::windowParent(w);
    if (!parent || platform::windowClassName(parent) == "MDIClient") break;
    const platform::Rect wr = platform::windowScreenRect(w);
    const platform::Rect pr = platform::windowScreenRect(parent);
    platform::resizeWindow(w, width + dw, height + dh);
    dw += pr.width() - wr.width();
    dh += pr.height() - wr.height();
    if (dw > kHostParentMargin || dh > kHostParentMargin) return true;
    if (dw < 0) dw = 0;
    if (dh < 0) dh = 0;
    w = parent;
  }
  if (w) platform::resizeWindow(w, width + dw, height + dh);
  CRect all(0, 0, width, height);
  CViewContainer::setViewSize(all);
  return true;
}

bool CFrame::getSize(CRect* rect) const { return rect && getSize(*rect); }

bool CFrame::getSize(CRect& rect) const {
  if (!bOpenFlag) return false;
  // The host's window, measured in the client coordinates of its parent's parent.
  const platform::WindowHandle w = platform::windowParent(pHwnd);
  const platform::WindowHandle a = platform::windowParent(platform::windowParent(w));
  const platform::Rect r = platform::windowScreenRect(w);
  const platform::Point corner = platform::screenToClient(a, {r.left, r.top});
  rect = CRect(corner.x, corner.y, corner.x + r.width(), corner.y + r.height());
  return true;
}

bool CFrame::getPosition(std::int32_t& x, std::int32_t& y) const {
  if (!bOpenFlag) return false;
  const platform::WindowHandle w = getOuterWindow();
  const platform::Rect r = platform::windowScreenRect(w);
  const platform::Point corner = platform::screenToClient(platform::windowParent(w), {r.left, r.top});
  x = corner.x;
  y = corner.y;
  return true;
}

bool CFrame::setPosition(std::int32_t, std::int32_t) { return false; }
bool CFrame::open(CPoint*) { return false; }
bool CFrame::close() { return false; }

bool CFrame::getCurrentLocation(CPoint& where) const {
  const platform::Point cursor = platform::cursorPosition();
  const platform::Rect r = pHwnd ? platform::windowScreenRect(pHwnd) : platform::Rect{};
  where = CPoint(cursor.x - r.left, cursor.y - r.top);
  return true;
}

// --- editor, cursor, drop target ---

void CFrame::doIdleStuff() {
  if (pEditor) pEditor->doIdleStuff();
}

std::uint32_t CFrame::getTicks() const { return pEditor ? platform::tickCount() : 0; }

std::int32_t CFrame::getKnobMode() const { return AEffGUIEditor::knobMode; }

void CFrame::beginEdit(std::int32_t index) {
  if (pEditor) pEditor->beginEdit(index);
}

void CFrame::endEdit(std::int32_t index) {
  if (pEditor) pEditor->endEdit(index);
}

void CFrame::setCursor(CCursorType type) {
  using platform::CursorShape;
  if (!defaultCursor) defaultCursor = platform::currentCursor(pHwnd);
  platform::CursorHandle cursor = defaultCursor;
  switch (type) {
    case kCursorWait:
      cursor = platform::systemCursor(CursorShape::wait);
      break;
    case kCursorHSize:
      cursor = platform::systemCursor(CursorShape::sizeWE);
      break;
    case kCursorVSize:
      cursor = platform::systemCursor(CursorShape::sizeNS);
      break;
    case kCursorSizeAll:
      cursor = platform::systemCursor(CursorShape::sizeAll);
      break;
    case kCursorNESWSize:
      cursor = platform::systemCursor(CursorShape::sizeNESW);
      break;
    case kCursorNWSESize:
      cursor = platform::systemCursor(CursorShape::sizeNWSE);
      break;
    case kCursorNotAllowed:
      cursor = platform::systemCursor(CursorShape::no);
      break;
    case kCursorHand:
      cursor = platform::systemCursor(CursorShape::hand);
      break;
    default:
      break;
  }
  platform::setCurrentCursor(pHwnd, cursor);
}

bool CFrame::setDropActive(bool active) {
  if (!bDropActive && !active) return true;
  if (!pHwnd) return false;
  if (dropTarget) {
    platform::revokeDropTarget(pHwnd);
    releaseDropTarget();
  }
  if (active) {
    dropTarget = new CDropTarget(this);
    dropTarget->addRef();  // the frame's own, so its pointer outlives a registration dropped from outside
    platform::registerDropTarget(pHwnd, dropTarget);
  }
  bDropActive = active;
  return true;
}

void CFrame::releaseDropTarget() {
  if (!dropTarget) return;
  CDropTarget* target = dropTarget;
  dropTarget = nullptr;
  target->frameClosed();
  target->release();
}

bool CFrame::isTypeOf(const char* name) const {
  return nameIs(name, "CFrame") || CViewContainer::isTypeOf(name);
}

}  // namespace VSTGUI
