// Live input state and time, read at the moment of the call rather than from an event.
//
// What a backend does here:
// - cursorPosition: where the pointer is now, in screen coordinates (the root window's on a
//   display server).
// - isKeyDown and heldKeys: the buttons and modifiers held now, asked of the system at the call
//   (never taken from the last event seen). heldKeys answers all of them from one read, which
//   matters where every question is a round trip to a display server. Buttons are physical: the
//   left button is the one on the left of the mouse. Where the system has already mapped the
//   buttons for the user (a display server hands out logical buttons), the left button is its
//   first button and buttonsSwapped answers false.
// - buttonsSwapped: the user's swap-buttons setting; the toolkit reads it once per window class.
// - tickCount: milliseconds from a monotonic clock; it wraps at 2^32 and callers compare
//   differences, so the starting point does not matter.
// - sleep: blocks the calling thread; the plug-in has no thread of its own to wake it.
#pragma once

#include <cstdint>

#include "platform/surface.h"

namespace platform {

enum class Key { leftButton, middleButton, rightButton, shift, control, alt };

// A set of held keys, one bit per Key.
using KeySet = std::uint32_t;
constexpr KeySet keyBit(Key key) { return KeySet{1} << static_cast<unsigned>(key); }

Point cursorPosition();     // screen coordinates
bool isKeyDown(Key key);    // physical buttons: left is the physical left button
KeySet heldKeys();          // every key isKeyDown would answer true for, read at once
bool buttonsSwapped();      // the user's swap-buttons setting
std::uint32_t tickCount();  // milliseconds, wraps
void sleep(std::uint32_t milliseconds);

}  // namespace platform
