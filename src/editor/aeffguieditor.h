// The editor base that connects the toolkit: reports the editor rectangle, hands the host's idle
// and key requests to the frame, keeps the process-wide knob mode, passes edit gestures to the
// effect, keeps OLE started for its lifetime, and offers the throttled idle pass that controls
// call while they follow the mouse in a loop of their own.
#pragma once

#include <cstdint>

#include "host/aeffeditor.h"

namespace VSTGUI {
class CFrame;
}

class AEffGUIEditor : public AEffEditor {
 public:
  explicit AEffGUIEditor(AudioEffect* effect);
  ~AEffGUIEditor() override;

  bool getRect(ERect** rect) override;
  void idle() override;
  bool onKeyDown(VstKeyCode& keyCode) override;
  bool onKeyUp(VstKeyCode& keyCode) override;
  bool onWheel(float distance) override;
  bool setKnobMode(VstInt32 mode) override;

  virtual void setParameter(VstInt32 index, float value);
  virtual bool beginEdit(VstInt32 index);
  virtual bool endEdit(VstInt32 index);
  virtual void doIdleStuff();

  VSTGUI::CFrame* getFrame() const { return frame; }

  // Shared by every editor of the process; the knobs read it through the frame.
  static VstInt32 knobMode;

 protected:
  ERect rect{};
  std::uint32_t nextIdleTime = 0;  // milliseconds of the tick count
  bool inIdleStuff = false;
  VSTGUI::CFrame* frame = nullptr;
};
