#include "screen.h"

#include <objbase.h>
#include <png.h>

#include <cstdio>

Picture Picture::crop(int left, int top, int w, int h) const {
  Picture out;
  out.width = w;
  out.height = h;
  out.rgba.resize(static_cast<std::size_t>(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool inside = left + x >= 0 && left + x < width && top + y >= 0 && top + y < height;
      for (int c = 0; c < 4; ++c)
        out.rgba[(static_cast<std::size_t>(y) * w + x) * 4 + c] = inside ? at(left + x, top + y)[c] : 0;
    }
  return out;
}

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

bool runOnDisplay(const std::string& command) {
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
    pumpMessages(5);
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
    picture = readPng(windowsPath(file));
  DeleteFileA(windowsPath(file).c_str());
  return picture;
}

Picture readPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Picture picture;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return picture;
  image.format = PNG_FORMAT_RGBA;
  picture.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr)) return {};
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  return picture;
}

bool writePng(const Picture& picture, const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_RGBA;
  return png_image_write_to_file(&image, path.c_str(), 0, picture.rgba.data(), 0, nullptr) != 0;
}
