// The base of the view tree: a rectangle in its parent's coordinates that draws itself, takes
// mouse, wheel, key and drag events and is marked dirty until the next idle pass redraws it.
#pragma once

#include <cstdint>

#include "host/aeffect.h"
#include "vstgui/cbase.h"

class AEffGUIEditor;

namespace VSTGUI {

class CBitmap;
class CDrawContext;
class CDragContainer;
class CFrame;
class CViewContainer;

// Messages are compared by address, never by text.
extern const char* const kMsgCheckIfViewContainer;

// Key handlers answer this for a key they leave alone.
inline constexpr std::int32_t kKeyNotHandled = -1;
// A button mask the receiver has to ask the context for.
inline constexpr std::int32_t kButtonsUnknown = -1;

class CView : public CReferenceCounter {
 public:
  explicit CView(const CRect& size);
  ~CView() override;

  virtual void draw(CDrawContext* context);
  virtual void drawRect(CDrawContext* context, const CRect& updateRect);
  virtual bool checkUpdate(const CRect& updateRect) const;
  virtual void mouse(CDrawContext* context, CPoint& where, std::int32_t buttons = kButtonsUnknown);
  virtual void setBackground(CBitmap* background);
  virtual CBitmap* getBackground() const { return pBackground; }
  virtual std::int32_t onKeyDown(VstKeyCode& keyCode);
  virtual std::int32_t onKeyUp(VstKeyCode& keyCode);
  virtual bool onWheel(CDrawContext* context, const CPoint& where, std::int32_t axis, float distance);
  virtual bool onWheel(CDrawContext* context, const CPoint& where, float distance);
  virtual bool onDrop(CDrawContext* context, CDragContainer* drag, const CPoint& where);
  virtual void onDragEnter(CDrawContext* context, CDragContainer* drag, const CPoint& where);
  virtual void onDragLeave(CDrawContext* context, CDragContainer* drag, const CPoint& where);
  virtual void onDragMove(CDrawContext* context, CDragContainer* drag, const CPoint& where);
  virtual void looseFocus(CDrawContext* context = nullptr);
  virtual void takeFocus(CDrawContext* context = nullptr);
  virtual bool isDirty() const { return bDirty; }
  virtual void setDirty(bool dirty = true) { bDirty = dirty; }
  virtual void setMouseEnabled(bool enabled = true) { bMouseEnabled = enabled; }
  virtual bool getMouseEnabled() const { return bMouseEnabled; }
  virtual void setMouseableArea(const CRect& rect) { mouseableArea = rect; }
  virtual CRect& getMouseableArea(CRect& rect) const;
  virtual bool hitTest(const CPoint& where, std::int32_t buttons = kButtonsUnknown);
  virtual void setTransparency(bool transparent) { bTransparencyEnabled = transparent; }
  virtual bool getTransparency() const { return bTransparencyEnabled; }
  virtual void setViewSize(CRect& rect);
  virtual CRect& getViewSize(CRect& rect) const;
  virtual bool removed(CView* parent);
  virtual bool attached(CView* parent);
  virtual void getMouseLocation(CDrawContext* context, CPoint& point);
  virtual CPoint& frameToLocal(CPoint& point) const;
  virtual CPoint& localToFrame(CPoint& point) const;
  virtual AEffGUIEditor* getEditor() const;
  virtual std::int32_t notify(CView* sender, const char* message);
  virtual void redrawRect(CDrawContext* context, const CRect& rect);
  virtual bool wantsFocus() const { return bWantsFocus; }
  virtual void setWantsFocus(bool wants) { bWantsFocus = wants; }
  virtual bool isTypeOf(const char* name) const;
  virtual void update(CDrawContext* context);

  // Set by the container that adds the view; never cleared on removal.
  void setParentFrame(CFrame* frame) { pParentFrame = frame; }
  void setParentView(CViewContainer* view) { pParentView = view; }
  CFrame* getFrame() const { return pParentFrame; }
  CViewContainer* getParentView() const { return pParentView; }
  const CRect& getViewSize() const { return size; }

 protected:
  // Type tests walk the chain of class names up to this one.
  static bool nameIs(const char* name, const char* className);

  CRect size;
  CRect mouseableArea;
  CFrame* pParentFrame = nullptr;
  CViewContainer* pParentView = nullptr;
  bool bDirty = false;
  bool bMouseEnabled = true;
  bool bTransparencyEnabled = false;
  bool bWantsFocus = false;
  CBitmap* pBackground = nullptr;
};

}  // namespace VSTGUI
