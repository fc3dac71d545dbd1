// Input and time without a display: state that tests (and later a scripted input source) set,
// and a manual clock that only sleep and advanceClock move.
#pragma once

#include <cstdint>

#include "platform/input.h"

namespace platform::headless {

void setCursorPosition(Point screen);
void setKeyDown(Key key, bool down);
void setButtonsSwapped(bool swapped);
void advanceClock(std::uint32_t milliseconds);
// Everything released, cursor at (0, 0), buttons not swapped, clock at 0.
void resetInput();

}  // namespace platform::headless
