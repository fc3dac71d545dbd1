// Input and time without a display: state that tests set directly or script over successive polls,
// and a manual clock that only sleep and advanceClock move.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/input.h"

namespace platform::headless {

void setCursorPosition(Point screen);
void setKeyDown(Key key, bool down);
void setButtonsSwapped(bool swapped);
void advanceClock(std::uint32_t milliseconds);
void setClock(std::uint32_t milliseconds);
// Everything released, cursor at (0, 0), buttons not swapped, clock at 0, no script.
void resetInput();

// The whole live state at one poll.
struct InputStep {
  Point cursor;
  std::array<bool, 6> keys{};
};

// A scripted gesture: "press the left button at (60, 150), move to (60, 100) over the next polls,
// then release". Playing it applies the first step at once; every later read of the cursor
// position (one poll of a tracking loop) moves on to the next step before it answers, and the
// buttons and modifiers read after it are that step's. The last step stays.
class InputScript {
 public:
  InputScript& press(Key key, Point at);
  InputScript& press(Key key);
  InputScript& moveTo(Point to, int polls);
  InputScript& release(Key key);
  InputScript& hold(int polls);
  void play() const;

 private:
  InputStep& next();
  std::vector<InputStep> steps_;
};

// Steps of the playing script not yet reached.
int scriptStepsLeft();

}  // namespace platform::headless
