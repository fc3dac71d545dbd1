// Input inside the Windows backend: the press latch the window procedure sets around a press.
#pragma once

#include "platform/input.h"

namespace platform::win32 {

// For the lifetime of the scope the first read of each button and modifier answers its state at
// the message being handled.
class PressScope {
 public:
  PressScope();
  ~PressScope();
  PressScope(const PressScope&) = delete;
  PressScope& operator=(const PressScope&) = delete;

 private:
  bool previous_ = false;
};

}  // namespace platform::win32
