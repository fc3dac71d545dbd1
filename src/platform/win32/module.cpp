#include "platform/module.h"

#include <windows.h>

// The loader's notification for this library. A program that links the code directly (the unit
// tests) gets no such call: its handle stays null, which names the program's own module.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  return platform::moduleNotification(instance, reason) ? TRUE : FALSE;
}
