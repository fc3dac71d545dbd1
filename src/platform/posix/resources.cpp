#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/embedded.h"
#include "platform/resources.h"

namespace platform {
namespace {

struct Registered {
  std::string type;
  std::uint16_t number;
  std::span<const std::uint8_t> bytes;
};

// Resources added at run time; looked up after the compiled-in ones.
std::vector<Registered>& registered() {
  static std::vector<Registered> list;
  return list;
}

struct ClassicBitmap {
  int width;
  int height;
  std::vector<std::uint8_t> rows;  // bottom-up, 4 bytes a pixel
};

std::map<std::uint16_t, ClassicBitmap>& classicBitmaps() {
  static std::map<std::uint16_t, ClassicBitmap> map;
  return map;
}

}  // namespace

// The resources are part of this very binary, so the module handle is not needed to reach them.
std::span<const std::uint8_t> findResource(ModuleHandle /*module*/, const char* type, std::uint32_t number) {
  if (!type) return {};
  const auto id = static_cast<std::uint16_t>(number & 0xFFFFu);
  for (std::size_t i = 0; i < embedded::kEntryCount; ++i) {
    const auto& e = embedded::kEntries[i];
    if (e.number == id && std::strcmp(e.type, type) == 0) return e.bytes;
  }
  for (const auto& r : registered())
    if (r.number == id && r.type == type) return r.bytes;
  return {};
}

std::unique_ptr<Bitmap> loadClassicBitmap(ModuleHandle /*module*/, std::uint32_t number) {
  const auto it = classicBitmaps().find(static_cast<std::uint16_t>(number & 0xFFFFu));
  if (it == classicBitmaps().end()) return nullptr;
  const ClassicBitmap& source = it->second;
  auto bitmap = createBitmap(source.width, source.height);
  if (!bitmap) return nullptr;
  for (int i = 0; i < source.height; ++i)
    std::memcpy(bitmap->memoryRow(i), source.rows.data() + static_cast<std::size_t>(i) * source.width * 4,
                static_cast<std::size_t>(source.width) * 4);
  return bitmap;
}

void registerResource(const char* type, std::uint16_t number, std::span<const std::uint8_t> bytes) {
  registered().push_back({type, number, bytes});
}

void registerClassicBitmap(std::uint16_t number, const Bitmap& pixels) {
  ClassicBitmap copy{pixels.width(), pixels.height(), {}};
  const std::size_t row = static_cast<std::size_t>(copy.width) * 4;
  copy.rows.resize(row * copy.height);
  for (int i = 0; i < copy.height; ++i) {
    std::memcpy(copy.rows.data() + i * row, pixels.memoryRow(i), row);
    for (std::size_t x = 3; x < row; x += 4) copy.rows[i * row + x] = 255;  // no alpha in a classic bitmap
  }
  classicBitmaps()[number] = std::move(copy);
}

void unregisterResources() {
  registered().clear();
  classicBitmaps().clear();
}

}  // namespace platform
