// Live input state and time, read at the moment of the call rather than from an event.
#pragma once

#include <cstdint>

#include "platform/surface.h"

namespace platform {

enum class Key { leftButton, middleButton, rightButton, shift, control, alt };

// A set of held keys, one bit per Key.
using KeySet = std::uint32_t;
constexpr KeySet keyBit(Key key) { return KeySet{1} << static_cast<unsigned>(key); }

Point cursorPosition();   // screen coordinates
bool isKeyDown(Key key);  // physical buttons: left is the physical left button
KeySet heldKeys();        // every key isKeyDown would answer true for, read at once
bool buttonsSwapped();    // the user's swap-buttons setting
std::uint32_t tickCount();  // milliseconds, wraps
void sleep(std::uint32_t milliseconds);

}  // namespace platform
