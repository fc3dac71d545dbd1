// A click area that shows a picture over a larger rectangle until the next click. The picture is a
// modal view handed to the frame; it takes every press of the window and closes itself on a left
// press.
#pragma once

#include <cstdint>

#include "vstgui/ccontrol.h"

namespace VSTGUI {

class CSplashScreenView;

class CSplashScreen : public CControl {
 public:
  CSplashScreen(const CRect& size, CControlListener* listener, std::int32_t tag, CBitmap* background,
                const CRect& toDisplay, const CPoint& offset = CPoint());
  ~CSplashScreen() override;

  void draw(CDrawContext* context) override;
  void mouse(CDrawContext* context, CPoint& where, std::int32_t buttons = kButtonsUnknown) override;
  bool hitTest(const CPoint& where, std::int32_t buttons = kButtonsUnknown) override;
  bool isTypeOf(const char* name) const override;

  virtual void closeSplash(CDrawContext* context);

  const CRect& getDisplayRect() const { return toDisplay; }
  const CPoint& getSourceOffset() const { return offset; }
  std::uint8_t getOpacity() const { return opacity; }
  // The picture view while it is open, else null.
  CSplashScreenView* getSplashView() const { return pSplashView; }

 protected:
  friend class CSplashScreenView;

  CRect toDisplay;
  CPoint offset;
  std::uint8_t opacity = 255;
  CSplashScreenView* pSplashView = nullptr;  // not owned
};

class CSplashScreenView : public CView {
 public:
  CSplashScreenView(const CRect& size, CSplashScreen* splashScreen);
  ~CSplashScreenView() override;

  void draw(CDrawContext* context) override;
  void mouse(CDrawContext* context, CPoint& where, std::int32_t buttons = kButtonsUnknown) override;

  CSplashScreen* getSplashScreen() const { return pSplashScreen; }

 protected:
  friend class CSplashScreen;
  // The control went first (taken out of a frame that still shows this view): keep what drawing
  // needs and stop calling it.
  void detach();

  CSplashScreen* pSplashScreen;  // not owned
  CPoint sourceOffset;
  std::uint8_t opacity = 255;
};

}  // namespace VSTGUI
