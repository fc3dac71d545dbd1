#include "platform/module.h"

#include <windows.h>

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

// The loader's notification for this library. A program that links the code directly (the unit
// tests) gets no such call: its handle stays null, which names the program's own module.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  return platform::moduleNotification(instance, reason) ? TRUE : FALSE;
}
