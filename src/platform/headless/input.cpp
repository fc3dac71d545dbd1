#include "platform/headless/input.h"

#include <array>

namespace platform {
namespace {

struct InputState {
  headless::InputStep live;
  bool swapped = false;
  std::uint32_t ticks = 0;
  std::vector<headless::InputStep> script;
  std::size_t nextStep = 0;
};

InputState gInput;

}  // namespace

Point cursorPosition() {
  if (gInput.nextStep < gInput.script.size()) gInput.live = gInput.script[gInput.nextStep++];
  return gInput.live.cursor;
}
bool isKeyDown(Key key) { return gInput.live.keys[static_cast<std::size_t>(key)]; }
KeySet heldKeys() {
  KeySet keys = 0;
  for (std::size_t index = 0; index < gInput.live.keys.size(); ++index)
    if (gInput.live.keys[index]) keys |= keyBit(static_cast<Key>(index));
  return keys;
}
bool buttonsSwapped() { return gInput.swapped; }
std::uint32_t tickCount() { return gInput.ticks; }
void sleep(std::uint32_t milliseconds) { gInput.ticks += milliseconds; }

namespace headless {

void setCursorPosition(Point screen) { gInput.live.cursor = screen; }
void setKeyDown(Key key, bool down) { gInput.live.keys[static_cast<std::size_t>(key)] = down; }
void setButtonsSwapped(bool swapped) { gInput.swapped = swapped; }
void advanceClock(std::uint32_t milliseconds) { gInput.ticks += milliseconds; }
void setClock(std::uint32_t milliseconds) { gInput.ticks = milliseconds; }
void resetInput() { gInput = {}; }

InputStep& InputScript::next() {
  steps_.push_back(steps_.empty() ? gInput.live : steps_.back());
  return steps_.back();
}

InputScript& InputScript::press(Key key, Point at) {
  InputStep& step = next();
  step.cursor = at;
  step.keys[static_cast<std::size_t>(key)] = true;
  return *this;
}

InputScript& InputScript::press(Key key) {
  next().keys[static_cast<std::size_t>(key)] = true;
  return *this;
}

InputScript& InputScript::moveTo(Point to, int polls) {
  const Point from = steps_.empty() ? gInput.live.cursor : steps_.back().cursor;
  for (int i = 1; i <= polls; ++i)
    next().cursor = {from.x + (to.x - from.x) * i / polls, from.y + (to.y - from.y) * i / polls};
  return *this;
}

InputScript& InputScript::release(Key key) {
  next().keys[static_cast<std::size_t>(key)] = false;
  return *this;
}

InputScript& InputScript::hold(int polls) {
  for (int i = 0; i < polls; ++i) next();
  return *this;
}

void InputScript::play() const {
  gInput.script = steps_;
  gInput.nextStep = 0;
  if (!gInput.script.empty()) gInput.live = gInput.script[gInput.nextStep++];
}

int scriptStepsLeft() { return static_cast<int>(gInput.script.size() - gInput.nextStep); }

}  // namespace headless
}  // namespace platform
