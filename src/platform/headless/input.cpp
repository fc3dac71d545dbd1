#include "platform/headless/input.h"

#include <array>

namespace platform {
namespace {

struct InputState {
  Point cursor;
  std::array<bool, 6> keys{};
  bool swapped = false;
  std::uint32_t ticks = 0;
};

InputState gInput;

}  // namespace

Point cursorPosition() { return gInput.cursor; }
bool isKeyDown(Key key) { return gInput.keys[static_cast<std::size_t>(key)]; }
bool buttonsSwapped() { return gInput.swapped; }
std::uint32_t tickCount() { return gInput.ticks; }
void sleep(std::uint32_t milliseconds) { gInput.ticks += milliseconds; }

namespace headless {

void setCursorPosition(Point screen) { gInput.cursor = screen; }
void setKeyDown(Key key, bool down) { gInput.keys[static_cast<std::size_t>(key)] = down; }
void setButtonsSwapped(bool swapped) { gInput.swapped = swapped; }
void advanceClock(std::uint32_t milliseconds) { gInput.ticks += milliseconds; }
void resetInput() { gInput = {}; }

}  // namespace headless
}  // namespace platform
