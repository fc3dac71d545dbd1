#include "editor/aeffguieditor.h"

#include "host/audioeffectx.h"
#include "platform/input.h"
#include "platform/window.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cframe.h"

VstInt32 AEffGUIEditor::knobMode = 0;

namespace {

constexpr std::uint32_t kEarlySleep = 4;
constexpr std::uint32_t kEarlyWindow = 50;
constexpr std::uint32_t kIdleInterval = 100;

// a before b on a clock that wraps every 2^32 ms: the difference, read signed, decides, so a due
// time computed just before the wrap does not hold the pass back for 49 days.
bool before(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b) < 0; }

AudioEffectX* hostInterface(AudioEffect* effect) { return dynamic_cast<AudioEffectX*>(effect); }

}  // namespace

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect) : AEffEditor(effect) {
  nextIdleTime = platform::tickCount();
  if (effect) effect->setEditor(this);
  platform::startOle();
}

AEffGUIEditor::~AEffGUIEditor() { platform::stopOle(); }

bool AEffGUIEditor::getRect(ERect** rectangle) {
  *rectangle = &rect;
  return true;
}

void AEffGUIEditor::idle() {
  if (!inIdleStuff && frame) frame->idle();
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& keyCode) { return frame && frame->onKeyDown(keyCode) == 1; }

bool AEffGUIEditor::onKeyUp(VstKeyCode& keyCode) { return frame && frame->onKeyUp(keyCode) == 1; }

bool AEffGUIEditor::onWheel(float distance) {
  if (!frame) return false;
  VSTGUI::CDrawContext context(frame, nullptr, systemWindow);
  VSTGUI::CPoint where;
  context.getMouseLocation(where);
  return frame->onWheel(&context, where, distance);
}

bool AEffGUIEditor::setKnobMode(VstInt32 mode) {
  knobMode = mode;
  return true;
}

void AEffGUIEditor::setParameter(VstInt32 /*index*/, float /*value*/) {}

bool AEffGUIEditor::beginEdit(VstInt32 index) {
  AudioEffectX* host = hostInterface(effect);
  return host && host->beginEdit(index);
}

bool AEffGUIEditor::endEdit(VstInt32 index) {
  AudioEffectX* host = hostInterface(effect);
  return host && host->endEdit(index);
}

void AEffGUIEditor::doIdleStuff() {
  std::uint32_t now = platform::tickCount();
  if (before(now, nextIdleTime)) {
    // Early callers pay a short sleep; only one within reach of the due time goes on.
    platform::sleep(kEarlySleep);
    now += kEarlySleep;
    if (before(now, nextIdleTime - kEarlyWindow)) return;
  }
  idle();
  platform::dispatchPendingPaint();
  nextIdleTime = now + kIdleInterval;

  // A host that answers with effEditIdle finds idle() doing nothing meanwhile.
  inIdleStuff = true;
  if (effect) effect->masterIdle();
  inIdleStuff = false;
}
