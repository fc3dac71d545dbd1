#include "platform/input.h"

#include <time.h>

#include <cerrno>

#include "platform/x11/connection.h"

namespace platform {
namespace {

struct PointerState {
  Point root;
  KeySet keys = 0;
};

// One round trip: where the pointer is and what is held now. Nothing without a connection, which
// exists while the editor has a window.
PointerState queryPointer() {
  auto held = x11::lock();
  Display* display = x11::backend().display;
  if (!display) return {};
  x11::ErrorTrap trap;
  ::Window root = 0, child = 0;
  int rootX = 0, rootY = 0, x = 0, y = 0;
  unsigned int mask = 0;
  XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &x, &y, &mask);
  return {{rootX, rootY}, x11::keysOf(mask)};
}

}  // namespace

Point cursorPosition() { return queryPointer().root; }
bool isKeyDown(Key key) { return (heldKeys() & keyBit(key)) != 0; }
KeySet heldKeys() { return queryPointer().keys; }
// The server hands out buttons already mapped for the user.
bool buttonsSwapped() { return false; }

std::uint32_t tickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

void sleep(std::uint32_t milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace platform
