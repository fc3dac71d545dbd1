// A view that owns an ordered list of children: draws them clipped over its background, routes
// events to them topmost first, finds the child under a point, moves the focus among them and
// redraws the dirty ones.
#pragma once

#include "vstgui/cview.h"

namespace VSTGUI {

class COffscreenContext;

enum CViewContainerMode : std::int32_t { kNormalUpdate = 0, kOnlyDirtyUpdate = 1 };

class CViewContainer : public CView {
 public:
  explicit CViewContainer(const CRect& size);
  ~CViewContainer() override;

  using CView::onWheel;
  void draw(CDrawContext* context) override;
  void drawRect(CDrawContext* context, const CRect& updateRect) override;
  void mouse(CDrawContext* context, CPoint& where, std::int32_t buttons = kButtonsUnknown) override;
  std::int32_t onKeyDown(VstKeyCode& keyCode) override;
  std::int32_t onKeyUp(VstKeyCode& keyCode) override;
  bool onWheel(CDrawContext* context, const CPoint& where, std::int32_t axis, float distance) override;
  bool onWheel(CDrawContext* context, const CPoint& where, float distance) override;
  bool onDrop(CDrawContext* context, CDragContainer* drag, const CPoint& where) override;
  void onDragEnter(CDrawContext* context, CDragContainer* drag, const CPoint& where) override;
  void onDragLeave(CDrawContext* context, CDragContainer* drag, const CPoint& where) override;
  void onDragMove(CDrawContext* context, CDragContainer* drag, const CPoint& where) override;
  void looseFocus(CDrawContext* context = nullptr) override;
  void takeFocus(CDrawContext* context = nullptr) override;
  bool isDirty() const override;
  void setViewSize(CRect& rect) override;
  bool removed(CView* parent) override;
  bool attached(CView* parent) override;
  CPoint& frameToLocal(CPoint& point) const override;
  CPoint& localToFrame(CPoint& point) const override;
  std::int32_t notify(CView* sender, const char* message) override;
  void redrawRect(CDrawContext* context, const CRect& rect) override;
  bool isTypeOf(const char* name) const override;
  void update(CDrawContext* context) override;

  virtual void addView(CView* view, const CRect& mouseableArea, bool mouseEnabled = true);
  virtual void addView(CView* view);
  virtual void removeView(CView* view, bool withForget = true);
  virtual void removeAll(bool withForget = true);
  virtual bool isChild(CView* view) const;
  virtual std::int32_t getNbViews() const;
  virtual CView* getView(std::int32_t index) const;
  virtual void setBackgroundColor(const CColor& color);
  virtual CColor getBackgroundColor() const { return backgroundColor; }
  virtual void setBackgroundOffset(const CPoint& offset) { backgroundOffset = offset; }
  virtual const CPoint& getBackgroundOffset() const { return backgroundOffset; }
  virtual void drawBackgroundRect(CDrawContext* context, const CRect& rect);
  virtual void setMode(CViewContainerMode mode) { this->mode = mode; }
  virtual CViewContainerMode getMode() const { return mode; }
  virtual void useOffscreen(bool offscreen);
  virtual CView* getCurrentView() const;
  virtual CView* getViewAt(const CPoint& where, bool deep = false) const;
  virtual bool advanceNextFocusView(CView* oldFocus, bool reverse = false);

 protected:
  struct CCView {
    CView* pView;
    CCView* pNext = nullptr;
    CCView* pPrevious = nullptr;
  };

  // The local rectangle (0, 0, width, height).
  CRect localRect() const { return CRect(0, 0, size.width(), size.height()); }
  // The background over `destination`, clipped by the caller.
  void drawBackground(CDrawContext* context, const CRect& destination);
  // Children go without touching the frame's focus; removeAll and the destructor share it.
  void releaseChildren(bool withForget);
  // A live frame must not keep a focus view that is `view` or lies inside it.
  void dropFocusWithin(CView* view);

  CCView* pFirstView = nullptr;
  CCView* pLastView = nullptr;
  CViewContainerMode mode = kOnlyDirtyUpdate;
  COffscreenContext* pOffscreenContext = nullptr;
  CColor backgroundColor = kColorBlack;
  CPoint backgroundOffset;
  bool bDrawInOffscreen = false;
  CView* currentDragView = nullptr;
};

}  // namespace VSTGUI
