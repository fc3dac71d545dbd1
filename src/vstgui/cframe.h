// The root of the view tree: a container bound to a child window of the host's window. It paints
// the tree through a back buffer, turns native presses, wheel turns and paints into calls on the
// tree, keeps the focus and modal views, resizes the host's windows and serves the views with
// window-level facilities (cursor, idle, edit notifications to the editor).
#pragma once

#include <cstdint>

#include "platform/window.h"
#include "vstgui/cviewcontainer.h"

namespace VSTGUI {

class CDrawContext;
class COffscreenContext;
class CDropTarget;

enum CCursorType : std::int32_t {
  kCursorDefault = 0,
  kCursorWait,
  kCursorHSize,
  kCursorVSize,
  kCursorSizeAll,
  kCursorNESWSize,
  kCursorNWSESize,
  kCursorCopy,
  kCursorNotAllowed,
  kCursorHand
};

// What bitmap drawing may rely on, fetched again by every frame's construction.
struct ImagingEntryPoints {
  bool alphaBlend = false;
  bool transparentCopy = false;
  platform::PlatformVersion version;
};

class CFrame : public CViewContainer {
 public:
  CFrame(const CRect& size, platform::WindowHandle systemWindow, AEffGUIEditor* editor = nullptr);
  ~CFrame() override;

  using CViewContainer::onWheel;
  void draw(CDrawContext* context = nullptr) override;
  void drawRect(CDrawContext* context, const CRect& updateRect) override;
  void mouse(CDrawContext* context, CPoint& where, std::int32_t buttons = kButtonsUnknown) override;
  std::int32_t onKeyDown(VstKeyCode& keyCode) override;
  std::int32_t onKeyUp(VstKeyCode& keyCode) override;
  bool onWheel(CDrawContext* context, const CPoint& where, std::int32_t axis, float distance) override;
  void setViewSize(CRect& rect) override;
  void update(CDrawContext* context) override;
  AEffGUIEditor* getEditor() const override { return pEditor; }
  bool isTypeOf(const char* name) const override;
  CView* getCurrentView() const override;
  bool advanceNextFocusView(CView* oldFocus, bool reverse = false) override;

  virtual bool open(CPoint* position = nullptr);
  virtual bool close();
  virtual bool isOpen() const { return bOpenFlag; }
  virtual void idle();
  virtual void doIdleStuff();
  virtual std::uint32_t getTicks() const;
  virtual std::int32_t getKnobMode() const;
  virtual bool setPosition(std::int32_t x, std::int32_t y);
  virtual bool getPosition(std::int32_t& x, std::int32_t& y) const;
  virtual bool setSize(std::int32_t width, std::int32_t height);
  virtual bool getSize(CRect* rect) const;
  virtual bool getSize(CRect& rect) const;
  virtual bool setModalView(CView* view);
  virtual CView* getModalView() const { return pModalView; }
  virtual void beginEdit(std::int32_t index);
  virtual void endEdit(std::int32_t index);
  virtual bool getCurrentLocation(CPoint& where) const;
  virtual void setCursor(CCursorType type);
  virtual void setFocusView(CView* view);
  virtual CView* getFocusView() const { return pFocusView; }
  virtual bool setDropActive(bool active);
  virtual bool isDropActive() const { return bDropActive; }
  virtual void setOpenFlag(bool open) { bOpenFlag = open; }
  virtual bool getOpenFlag() const { return bOpenFlag; }
  virtual void invalidate(const CRect& rect);
  virtual bool setUpdatesDisabled(bool disabled);
  virtual bool updatesDisabled() const { return bUpdatesDisabled; }
  virtual void drawView(CView* view);

  // A context for the frame's window, with one reference for the caller.
  CDrawContext* createDrawContext();
  // Made at the frame's size on first use; no reference for the caller.
  COffscreenContext* getBackBuffer();
  // The host's window the frame lives in, and the frame's own window.
  platform::WindowHandle getSystemWindow() const { return pSystemWindow; }
  platform::WindowHandle getWindowHandle() const { return pHwnd; }
  // The first captioned or parentless window around the frame, or one much larger than it.
  platform::WindowHandle getOuterWindow() const;

  static const char* getWindowClassName();
  static std::int32_t getWindowClassUseCount();
  static const ImagingEntryPoints& getImagingEntryPoints();

 protected:
  bool registerWindowClass();
  bool createWindow();
  void startUp();
  void release();
  static long windowProcedure(platform::WindowHandle window, const platform::Message& message);
  void paint(platform::WindowHandle window);
  void takeWindowEvents();
  // Cuts the drop target off from the frame and gives up the frame's reference on it.
  void releaseDropTarget();

  AEffGUIEditor* pEditor;
  platform::WindowHandle pSystemWindow;
  CView* pModalView = nullptr;
  CView* pFocusView = nullptr;
  bool bFirstDraw = true;
  bool bOpenFlag = true;
  bool bDropActive = false;
  bool bUpdatesDisabled = false;
  platform::WindowHandle pHwnd = nullptr;
  void* hImagingLibrary = nullptr;
  CDropTarget* dropTarget = nullptr;
  COffscreenContext* pBackBuffer = nullptr;
  CDrawContext* pFrameContext = nullptr;
  platform::CursorHandle defaultCursor = nullptr;
  // True while a press or a wheel turn is handled, or the window's events are being taken.
  bool bInEvent = false;
  // The class use taken when the window was made, given back even if the window was destroyed
  // from outside in between.
  bool bHoldsClassUse = false;
};

}  // namespace VSTGUI
