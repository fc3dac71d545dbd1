#include "screen.h"

#include <objbase.h>

#include <cstdio>

void pumpMessages(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  do {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  } while (GetTickCount() - start < milliseconds);
}

namespace {

// Unique across programs: those running side by side in prefixes of their own may have the same
// Windows process id.
std::string unixTemporary(const char* what) {
  GUID id{};
  CoCreateGuid(&id);
  char name[64];
  std::snprintf(name, sizeof name, "/tmp/fadecrest-wine-%08lx%04x%04x%02x%02x%02x%02x", id.Data1, id.Data2,
                id.Data3, id.Data4[0], id.Data4[1], id.Data4[6], id.Data4[7]);
  return name + std::string(what);
}

std::string windowsPath(const std::string& unixPath) { return "Z:" + unixPath; }

}  // namespace

bool runOnDisplay(const std::string& command, bool serve) {
  // Wine gives no exit status for a Unix process: the command leaves a file when it is done.
  const std::string done = unixTemporary(".done");
  std::string line = "/bin/sh -c \"" + command + "; touch " + done + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  const DWORD start = GetTickCount();
  while (GetFileAttributesA(windowsPath(done).c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start > 20000) return false;
    serve ? pumpMessages(5) : Sleep(5);
  }
  DeleteFileA(windowsPath(done).c_str());
  return true;
}

Picture screenshot() {
  // Let Wine hand what was drawn to the X server first.
  pumpMessages(250);
  const std::string file = unixTemporary(".png");
  Picture picture;
  if (runOnDisplay("xwd -root -silent | /usr/bin/convert xwd:- png:" + file))
    picture = pictures::readPng(windowsPath(file));
  DeleteFileA(windowsPath(file).c_str());
  return picture;
}
