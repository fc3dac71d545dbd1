// The Fadecrest editor: the background picture, a film-strip knob and a value display in seconds
// for each parameter, and a click area over the title that shows the about picture.
#pragma once

#include <atomic>

#include "editor/aeffguieditor.h"
#include "vstgui/ccontrol.h"

namespace VSTGUI {
class CAnimKnob;
struct CRect;
class CBitmap;
class CParamDisplay;
class CSplashScreen;
}  // namespace VSTGUI

// Resource numbers of the pictures; the splash control's tag is the about picture's number.
enum FadecrestPicture : int {
  kBackgroundPicture = 128,
  kKnobStripPicture = 129,
  kAboutPicture = 140,
};

class FadecrestVSTEditor : public AEffGUIEditor, public VSTGUI::CControlListener {
 public:
  explicit FadecrestVSTEditor(AudioEffect* effect);
  ~FadecrestVSTEditor() override;

  bool open(void* window) override;
  void close() override;
  // Takes the effect's values changed since the last pass into the controls, then redraws.
  void idle() override;
  // Safe from any thread: only records that the parameter changed.
  void setParameter(VstInt32 index, float value) override;

  void valueChanged(VSTGUI::CDrawContext* context, VSTGUI::CControl* control) override;

 private:
  // Builds the frame and its views; null when the host's window takes no child, and throws when
  // an allocation fails.
  VSTGUI::CFrame* buildFrame(void* window);
  VSTGUI::CParamDisplay* addDisplay(VSTGUI::CFrame* target, const VSTGUI::CRect& size, VstInt32 index);
  // Brings the knob and the display of a parameter up to the effect's value; user-interface thread.
  void showParameter(VstInt32 index);

  VSTGUI::CAnimKnob* durationKnob = nullptr;
  VSTGUI::CAnimKnob* intervalKnob = nullptr;
  VSTGUI::CParamDisplay* durationDisplay = nullptr;
  VSTGUI::CParamDisplay* intervalDisplay = nullptr;
  VSTGUI::CSplashScreen* splashScreen = nullptr;
  VSTGUI::CBitmap* background = nullptr;
  // One bit per parameter index, set by whatever thread changed the parameter.
  std::atomic<unsigned> changedParameters{0};
};
