// Input inside the Windows backend: the keys held at the message being handled.
#pragma once

#include "platform/input.h"

namespace platform::win32 {

// The buttons (physical, as heldKeys names them) and modifiers held when the message being handled
// on this thread was sent: what a press or a wheel turn carries, however long ago the user let go.
KeySet keysAtMessage();

}  // namespace platform::win32
