// The module handle as the loader's notification records it; each backend calls the notification
// from its own loader hook (DllMain, or a library constructor where there is no notification).
#include "platform/module.h"

namespace platform {
namespace {

ModuleHandle gModuleHandle = nullptr;

}  // namespace

ModuleHandle moduleHandle() { return gModuleHandle; }

bool moduleNotification(ModuleHandle handle, unsigned long /*reason*/) {
  gModuleHandle = handle;
  return true;
}

}  // namespace platform
