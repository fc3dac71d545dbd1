// A control that shows its value as one line of text: the owner's conversion function or "%2.2f",
// over a bitmap, a filled and outlined rectangle or nothing, with an optional 3D edge and shadow.
#pragma once

#include <cstdint>

#include "vstgui/ccontrol.h"

namespace VSTGUI {

// Style bits; no other bit has a meaning.
inline constexpr std::int32_t kStyleShadowText = 4;
inline constexpr std::int32_t kStyle3DIn = 128;
inline constexpr std::int32_t kStyle3DOut = 256;
inline constexpr std::int32_t kStyleNoText = 2048;
inline constexpr std::int32_t kStyleNoDraw = 4096;
inline constexpr std::int32_t kStyleNoFrame = 16384;

// Conversion functions write at most 255 characters and a terminating zero.
using CParamDisplayValueToStringProc = void (*)(float value, char* string);
using CParamDisplayValueToStringUserDataProc = void (*)(float value, char* string, void* userData);
using CParamDisplayStringToValueProc = void (*)(char* string, float& value);

class CParamDisplay : public CControl {
 public:
  CParamDisplay(const CRect& size, CBitmap* background = nullptr, std::int32_t style = 0);
  ~CParamDisplay() override;

  void draw(CDrawContext* context) override;
  bool isTypeOf(const char* name) const override;

  virtual void setFont(CFont fontID);
  virtual void setFontColor(CColor color);
  virtual void setBackColor(CColor color);
  virtual void setFrameColor(CColor color);
  virtual void setShadowColor(CColor color);
  virtual void setAlignment(CHoriTxtAlign align);
  virtual void setValueToString(CParamDisplayValueToStringUserDataProc proc, void* userData);
  virtual void setValueToString(CParamDisplayValueToStringProc proc);
  virtual void setStringToValue(CParamDisplayStringToValueProc proc);
  virtual void setStyle(std::int32_t val);
  virtual void setFontStyle(std::int32_t val);
  virtual void setTextTransparency(bool val) { bTextTransparencyEnabled = val; }

  CFont getFont() const { return fontID; }
  CColor getFontColor() const { return fontColor; }
  CColor getBackColor() const { return backColor; }
  CColor getFrameColor() const { return frameColor; }
  CColor getShadowColor() const { return shadowColor; }
  CHoriTxtAlign getAlignment() const { return horiTxtAlign; }
  std::int32_t getStyle() const { return style; }
  std::int32_t getFontStyle() const { return fontStyle; }
  bool getTextTransparency() const { return bTextTransparencyEnabled; }
  CParamDisplayStringToValueProc getStringToValue() const { return stringToValue; }

  // Draws a given text as the display would draw its value; null draws background and edge only.
  void drawText(CDrawContext* context, const char* string);

 protected:
  CParamDisplayValueToStringProc stringConvert = nullptr;
  CParamDisplayValueToStringUserDataProc stringConvert2 = nullptr;
  CParamDisplayStringToValueProc stringToValue = nullptr;
  void* userData = nullptr;
  CHoriTxtAlign horiTxtAlign = kAlignCenter;
  std::int32_t style;
  CFont fontID = kFontNormal;
  std::int32_t fontStyle = 0;
  CColor fontColor = kColorWhite;
  CColor backColor = kColorBlack;
  CColor frameColor = kColorBlack;
  CColor shadowColor = kColorRed;
  bool bTextTransparencyEnabled = true;
};

}  // namespace VSTGUI
