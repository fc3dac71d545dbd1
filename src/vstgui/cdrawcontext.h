// Drawing contexts: short-lived drawing state bound to one platform surface, and off-screen
// contexts that own a memory surface. Pens, brushes, fonts and clip regions are made only when the
// value they stand for changes, because drawing runs on every paint and every step of a drag.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/input.h"
#include "platform/surface.h"
#include "vstgui/cbase.h"

namespace VSTGUI {

class CFrame;

enum CLineStyle : std::int32_t { kLineSolid = 0 };
enum CDrawMode : std::int32_t { kCopyMode = 0 };

// Reads the user's swap-buttons setting once; the frame does it when it registers its window class.
void recordSwappedMouseButtons();
bool mouseButtonsSwapped();

class CDrawContext : public CReferenceCounter {
 public:
  CDrawContext(CFrame* frame, platform::Surface* surface, platform::WindowHandle window);
  ~CDrawContext() override;

  void moveTo(const CPoint& point);
  void lineTo(const CPoint& point);
  void frameRect(const CRect& rect);
  void fillRect(const CRect& rect);
  void drawString(const char* string, const CRect& rect, std::int16_t opaque = 0,
                  CHoriTxtAlign hAlign = kAlignCenter);

  void setFrameColor(const CColor& color);
  CColor getFrameColor() const { return frameColor; }
  void setLineWidth(std::int32_t width);
  std::int32_t getLineWidth() const { return frameWidth; }
  void setLineStyle(CLineStyle style);
  CLineStyle getLineStyle() const { return lineStyle; }
  void setFillColor(const CColor& color);
  CColor getFillColor() const { return fillColor; }
  void setFontColor(const CColor& color);
  CColor getFontColor() const { return fontColor; }
  void setFont(CFont fontID, std::int32_t style = 0);
  CFont getFont() const { return fontId; }
  std::int32_t getFontSize() const { return fontSize; }
  std::int32_t getFontStyle() const { return fontStyle; }
  void setDrawMode(CDrawMode mode);
  CDrawMode getDrawMode() const { return drawMode; }
  void setClipRect(const CRect& clip);
  CRect& getClipRect(CRect& clip) const;

  void getMouseLocation(CPoint& point) const;
  std::int32_t getMouseButtons();
  // For a context made for a press or a wheel turn: the first getMouseButtons answers what was
  // held at that event, which may be handled after the user let go; later reads are live, so a
  // control that follows the mouse still sees the release.
  void setEventKeys(platform::KeySet keys);

  platform::Surface* getSurface() const { return surface; }
  platform::WindowHandle getWindow() const { return window; }
  CFrame* getFrame() const { return frame; }

  CPoint offsetScreen;  // where the local origin lies on the screen
  CPoint offset;        // where the local origin lies on the surface

 protected:
  // The platform pen always reflects the frame colour and the line width together.
  void createPen();
  platform::Rect toSurface(const CRect& rect) const;
  void setSurface(platform::Surface* s) { surface = s; }

  platform::Surface* surface;
  platform::WindowHandle window;
  CFrame* frame;
  std::int32_t fontSize = -1;
  std::int32_t fontStyle = 0;
  CFont fontId = kFontCount;
  CColor fontColor;
  std::int32_t frameWidth = 0;
  CColor frameColor;
  CColor fillColor;
  CLineStyle lineStyle = static_cast<CLineStyle>(1);
  CDrawMode drawMode = static_cast<CDrawMode>(3);
  CRect clipRect;
  bool savedObjects = false;
  platform::Surface* acquiredSurface = nullptr;
  bool hasEventKeys = false;
  platform::KeySet eventKeys = 0;
};

class COffscreenContext : public CDrawContext {
 public:
  COffscreenContext(CFrame* frame, std::int32_t width, std::int32_t height,
                    const CColor backgroundColor = kColorBlack);
  ~COffscreenContext() override;

  void copyToContext(CDrawContext* destination, const CRect& destinationRect,
                     const CPoint& source = CPoint());
  void copyFromContext(CDrawContext* source, const CRect& sourceRect, const CPoint& destination = CPoint());

  std::int32_t getWidth() const { return width; }
  std::int32_t getHeight() const { return height; }
  CColor getBackgroundColor() const { return backgroundColor; }

 protected:
  std::int32_t height;
  std::int32_t width;
  CColor backgroundColor;
  std::unique_ptr<platform::Surface> memory;
};

}  // namespace VSTGUI
