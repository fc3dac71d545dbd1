// Keys pressed while the pointer is over the editor's window. The host keeps the input focus (we
// never take it); the server gives our window the keys it would otherwise have passed up to the
// host's windows, because our window asks for them. Each becomes a key message when the window's
// events are taken, and a key the window's procedure leaves goes on to the host's window that
// would have had it.
#pragma once

#include "platform/x11/connection.h"

namespace platform::x11 {

// The event mask that brings a window its keys.
constexpr long kKeyEventMask = KeyPressMask | KeyReleaseMask;

// The message for a key event of one of our windows (the lock held).
Message keyMessage(XKeyEvent& event);
// Sends a key event of one of our windows to the first of its ancestors that asks for such keys,
// with the window, the point and the child on the way as the server would have set them had our
// window not asked for keys (the lock held). Nothing when no ancestor asks, or one forbids it.
void passKeyOn(XKeyEvent event);

}  // namespace platform::x11
