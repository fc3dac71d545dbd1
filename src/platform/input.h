// Live input state and time, read at the moment of the call rather than from an event.
#pragma once

#include <cstdint>

#include "platform/surface.h"

namespace platform {

enum class Key { leftButton, middleButton, rightButton, shift, control, alt };

Point cursorPosition();   // screen coordinates
bool isKeyDown(Key key);  // physical buttons: left is the physical left button
bool buttonsSwapped();    // the user's swap-buttons setting
std::uint32_t tickCount();  // milliseconds, wraps
void sleep(std::uint32_t milliseconds);

}  // namespace platform
