#include "platform/resources.h"

#include <windows.h>

#include <cstring>

#include "platform/shared/registered_resources.h"

namespace platform {

std::span<const std::uint8_t> findResource(ModuleHandle module, const char* type, std::uint32_t number) {
  if (!type) return {};
  const auto id = static_cast<std::uint16_t>(number & 0xFFFFu);
  const auto instance = static_cast<HMODULE>(module);
  if (HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(id), type)) {
    const DWORD size = SizeofResource(instance, found);
    if (HGLOBAL loaded = LoadResource(instance, found)) {
      if (const void* bytes = LockResource(loaded); bytes && size > 0)
        return {static_cast<const std::uint8_t*>(bytes), size};
    }
  }
  return registered::findResource(type, id);
}

// Resources of a Windows library are in memory whole.
std::unique_ptr<ResourceStream> openResource(ModuleHandle module, const char* type, std::uint32_t number) {
  const std::span<const std::uint8_t> bytes = findResource(module, type, number);
  return bytes.empty() ? nullptr : std::make_unique<ByteStream>(bytes);
}

// A classic bitmap resource comes as a device-dependent bitmap: its pixels are read into a 32-bit
// bitmap section like every other picture, with opaque alpha.
std::unique_ptr<Bitmap> loadClassicBitmap(ModuleHandle module, std::uint32_t number) {
  const auto id = static_cast<std::uint16_t>(number & 0xFFFFu);
  // A null module names the program itself, as it does for FindResourceA; to LoadBitmapA it would
  // name the system's own bitmaps.
  HMODULE instance = module ? static_cast<HMODULE>(module) : GetModuleHandleA(nullptr);
  HBITMAP loaded = LoadBitmapA(instance, MAKEINTRESOURCEA(id));
  if (!loaded) return registered::loadClassicBitmap(id);
  BITMAP description{};
  std::unique_ptr<Bitmap> image;
  if (GetObjectA(loaded, sizeof description, &description) != 0)
    image = createBitmap(description.bmWidth, description.bmHeight);
  if (image) {
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = image->width();
    format.bmiHeader.biHeight = image->height();  // bottom-up, as the seam's bitmaps are
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, loaded, 0, static_cast<UINT>(image->height()), image->memoryRow(0),
                               &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != image->height()) {
      image.reset();
    } else {
      for (int row = 0; row < image->height(); ++row)
        for (int x = 0; x < image->width(); ++x) image->memoryRow(row)[x * 4 + 3] = 255;
    }
  }
  DeleteObject(loaded);
  return image;
}

}  // namespace platform
