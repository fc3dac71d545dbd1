#include "platform/win32/input.h"

#include <windows.h>

namespace platform {
namespace {

int virtualKey(Key key) {
  switch (key) {
    case Key::leftButton:
      return VK_LBUTTON;
    case Key::middleButton:
      return VK_MBUTTON;
    case Key::rightButton:
      return VK_RBUTTON;
    case Key::shift:
      return VK_SHIFT;
    case Key::control:
      return VK_CONTROL;
    case Key::alt:
      return VK_MENU;
  }
  return 0;
}

constexpr int kKeys = 6;

// While a press is handled, the first read of each button and modifier answers the state at that
// press (the message's own key state) rather than the live one: a quick click or a Control-click
// may be over before the press is handled. Later reads, such as a knob's tracking loop, are live.
struct PressLatch {
  bool active = false;
  bool pending[kKeys] = {};
};
thread_local PressLatch tLatch;

}  // namespace

namespace win32 {

PressScope::PressScope() {
  previous_ = tLatch.active;
  tLatch.active = true;
  for (bool& pending : tLatch.pending) pending = true;
}

PressScope::~PressScope() {
  tLatch.active = previous_;
  for (bool& pending : tLatch.pending) pending = false;
}

}  // namespace win32

Point cursorPosition() {
  POINT point{};
  GetCursorPos(&point);
  return {point.x, point.y};
}

bool isKeyDown(Key key) {
  const int index = static_cast<int>(key);
  if (tLatch.active && tLatch.pending[index]) {
    tLatch.pending[index] = false;
    // The message's key state names the buttons as the user sees them; the seam's are physical.
    Key logical = key;
    if (buttonsSwapped() && key == Key::leftButton) logical = Key::rightButton;
    if (buttonsSwapped() && key == Key::rightButton) logical = Key::leftButton;
    return (GetKeyState(virtualKey(logical)) & 0x8000) != 0;
  }
  // Physical buttons: the asynchronous state does not follow the swap-buttons setting.
  return (GetAsyncKeyState(virtualKey(key)) & 0x8000) != 0;
}

bool buttonsSwapped() { return GetSystemMetrics(SM_SWAPBUTTON) > 0; }

std::uint32_t tickCount() { return GetTickCount(); }

void sleep(std::uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace platform
