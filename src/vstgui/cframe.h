// The frame as far as drawing needs it: its size rectangle and its native window. The view tree,
// the window procedure and the back buffer grow on this class.
#pragma once

#include "platform/surface.h"
#include "vstgui/cbase.h"

namespace VSTGUI {

class CFrame {
 public:
  CFrame(const CRect& size, platform::WindowHandle window) : size(size), window(window) {}
  virtual ~CFrame() = default;

  CRect& getViewSize(CRect& rect) const {
    rect = size;
    return rect;
  }
  platform::WindowHandle getSystemWindow() const { return window; }

 protected:
  CRect size;
  platform::WindowHandle window;
};

}  // namespace VSTGUI
