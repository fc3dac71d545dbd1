#include "editor/fadecrestvsteditor.h"

#include <new>

#include "effect/fadecrestvst.h"
#include "vstgui/cbitmap.h"
#include "vstgui/cframe.h"
#include "vstgui/cknob.h"
#include "vstgui/cparamdisplay.h"
#include "vstgui/csplashscreen.h"

using namespace VSTGUI;

namespace {

constexpr int kKnobFrames = 60;
constexpr CColor kDisplayOrange{242, 115, 0, 255};
constexpr std::int32_t kDisplayStyle = 1;  // none of the display's style bits

// Releases a reference-counted object when it goes out of scope, unless handed on.
template <typename T>
struct Held {
  explicit Held(T* object) : object(object) {}
  ~Held() {
    if (object) object->forget();
  }
  T* release() {
    T* handedOn = object;
    object = nullptr;
    return handedOn;
  }
  T* object;
};

}  // namespace

FadecrestVSTEditor::FadecrestVSTEditor(AudioEffect* effect) : AEffGUIEditor(effect) {
  background = new CBitmap(kBackgroundPicture);
  rect.top = 0;
  rect.left = 0;
  rect.bottom = static_cast<VstInt16>(background->getHeight());
  rect.right = static_cast<VstInt16>(background->getWidth());
}

FadecrestVSTEditor::~FadecrestVSTEditor() {
  // A host may close the effect with the editor still open; the window must not outlive us.
  if (frame) close();
  if (background) {
    background->forget();
    background = nullptr;
  }
}

// Adds a view to the frame; the frame's destruction then releases it, the creator's reference too.
template <typename View>
View* addTo(CFrame* frame, Held<View>& view) {
  frame->addView(view.object);
  return view.release();
}

CFrame* FadecrestVSTEditor::buildFrame(void* window) {
  Held<CFrame> newFrame(
      new CFrame(CRect(0, 0, background->getWidth(), background->getHeight()), window, this));
  // A host window the window system cannot take a child in: there is nothing to open.
  if (!newFrame.object->getWindowHandle()) return nullptr;
  newFrame.object->setBackground(background);

  Held<CBitmap> knobStrip(new CBitmap(kKnobStripPicture));
  Held<CBitmap> about(new CBitmap(kAboutPicture));
  const std::int32_t w = knobStrip.object->getWidth();

  Held<CAnimKnob> duration(new CAnimKnob(CRect(184, 128, 184 + w, 128 + w), this, kDurationParameter,
                                         kKnobFrames, w, knobStrip.object, CPoint(0, 0)));
  durationKnob = duration.object;
  durationKnob->setValue(effect->getParameter(kDurationParameter));
  addTo(newFrame.object, duration);

  Held<CAnimKnob> interval(new CAnimKnob(CRect(43, 128, 43 + w, 128 + w), this, kIntervalParameter,
                                         kKnobFrames, w, knobStrip.object, CPoint(0, 0)));
  intervalKnob = interval.object;
  intervalKnob->setValue(effect->getParameter(kIntervalParameter));
  addTo(newFrame.object, interval);

  CRect display(0, 0, about.object->getWidth(), about.object->getHeight());
  CPoint offset(0, 0);
  Held<CSplashScreen> splash(
      new CSplashScreen(CRect(42, 22, 312, 80), this, kAboutPicture, about.object, display, offset));
  splashScreen = addTo(newFrame.object, splash);

  durationDisplay = addDisplay(newFrame.object, CRect(187, 235, 217, 249), kDurationParameter);
  intervalDisplay = addDisplay(newFrame.object, CRect(46, 235, 76, 249), kIntervalParameter);
  return newFrame.release();
}

CParamDisplay* FadecrestVSTEditor::addDisplay(CFrame* target, const CRect& size, VstInt32 index) {
  Held<CParamDisplay> display(new CParamDisplay(size, nullptr, kDisplayStyle));
  display.object->setFontColor(kDisplayOrange);
  display.object->setBackColor(kColorBlack);
  display.object->setValue(effect->getParameter(index));
  return addTo(target, display);
}

bool FadecrestVSTEditor::open(void* window) {
  if (frame) close();  // a host that opens twice gets one editor window, not two
  AEffGUIEditor::open(window);
  try {
    frame = buildFrame(window);
  } catch (...) {
    // What was built is released with the frame and the held pictures; the editor stays closed.
    return false;
  }
  if (!frame) return false;
  changedParameters.store(0, std::memory_order_relaxed);
  showParameter(kIntervalParameter);
  showParameter(kDurationParameter);
  return true;
}

void FadecrestVSTEditor::close() {
  systemWindow = nullptr;
  if (frame) {
    CFrame* closing = frame;
    frame = nullptr;
    closing->forget();
  }
}

// Hosts automate and change programs from their audio or automation threads while the editor
// opens, idles and closes on the user-interface thread, so a notification must not touch a
// control: the controls take the values at the next idle pass, which is when they are redrawn.
void FadecrestVSTEditor::setParameter(VstInt32 index, float /*value*/) {
  if (index == kIntervalParameter || index == kDurationParameter)
    changedParameters.fetch_or(1u << index, std::memory_order_acq_rel);
}

void FadecrestVSTEditor::idle() {
  if (frame) {
    const unsigned changed = changedParameters.exchange(0, std::memory_order_acq_rel);
    if (changed & (1u << kIntervalParameter)) showParameter(kIntervalParameter);
    if (changed & (1u << kDurationParameter)) showParameter(kDurationParameter);
  }
  AEffGUIEditor::idle();
}

// The controls always show what the effect holds now.
void FadecrestVSTEditor::showParameter(VstInt32 index) {
  if (index == kIntervalParameter) {
    if (intervalKnob) intervalKnob->setValue(effect->getParameter(kIntervalParameter));
    if (intervalDisplay)
      intervalDisplay->setValue(static_cast<float>(effect->getParameter(kIntervalParameter) * 59.0 + 1.0));
  } else if (index == kDurationParameter) {
    if (durationKnob) durationKnob->setValue(effect->getParameter(kDurationParameter));
    if (durationDisplay)
      durationDisplay->setValue(static_cast<float>(effect->getParameter(kDurationParameter) * 4.0 + 1.0));
  }
}

void FadecrestVSTEditor::valueChanged(CDrawContext* context, CControl* control) {
  const std::int32_t tag = control->getTag();
  if (tag == kIntervalParameter || tag == kDurationParameter) {
    effect->setParameterAutomated(tag, control->getValue());
    control->setDirty(true);
  } else if (tag == kAboutPicture) {
    control->draw(context);
    control->setDirty(true);
  }
}
