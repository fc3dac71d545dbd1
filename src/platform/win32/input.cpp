#include "platform/win32/input.h"

#include <windows.h>

namespace platform {
namespace {

// The virtual key of each Key, in the order of Key.
constexpr int kVirtualKeys[] = {VK_LBUTTON, VK_MBUTTON, VK_RBUTTON, VK_SHIFT, VK_CONTROL, VK_MENU};
constexpr int kKeys = sizeof kVirtualKeys / sizeof kVirtualKeys[0];

bool down(SHORT state) { return (state & 0x8000) != 0; }

// Every key that `read` answers as down, read in the order of Key.
KeySet keysDown(SHORT(WINAPI* read)(int)) {
  KeySet keys = 0;
  for (int index = 0; index < kKeys; ++index)
    if (down(read(kVirtualKeys[index]))) keys |= keyBit(static_cast<Key>(index));
  return keys;
}

}  // namespace

namespace win32 {

// GetKeyState answers as of the last message taken from this thread's queue: the press itself.
KeySet keysAtMessage() {
  KeySet keys = keysDown(GetKeyState);
  if (!buttonsSwapped()) return keys;
  // That state names the buttons as the user sees them; the seam's are physical.
  const KeySet left = keyBit(Key::leftButton), right = keyBit(Key::rightButton);
  const KeySet swapped = ((keys & left) ? right : 0) | ((keys & right) ? left : 0);
  return (keys & ~(left | right)) | swapped;
}

}  // namespace win32

Point cursorPosition() {
  POINT point{};
  GetCursorPos(&point);
  return {point.x, point.y};
}

// The asynchronous state is the live one, and it does not follow the swap-buttons setting.
bool isKeyDown(Key key) { return down(GetAsyncKeyState(kVirtualKeys[static_cast<int>(key)])); }

KeySet heldKeys() { return keysDown(GetAsyncKeyState); }

bool buttonsSwapped() { return GetSystemMetrics(SM_SWAPBUTTON) > 0; }

std::uint32_t tickCount() { return GetTickCount(); }

void sleep(std::uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace platform
