#include "platform/shared/registered_resources.h"

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/resources.h"

namespace platform {
namespace {

struct Registered {
  std::string type;
  std::uint16_t number;
  std::span<const std::uint8_t> bytes;
};

std::vector<Registered>& registeredList() {
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

std::uint64_t gGeneration = 0;

}  // namespace

namespace registered {

std::span<const std::uint8_t> findResource(const char* type, std::uint16_t number) {
  for (const auto& r : registeredList())
    if (r.number == number && r.type == type) return r.bytes;
  return {};
}

std::unique_ptr<Bitmap> loadClassicBitmap(std::uint16_t number) {
  const auto it = classicBitmaps().find(number);
  if (it == classicBitmaps().end()) return nullptr;
  const ClassicBitmap& source = it->second;
  auto bitmap = createBitmap(source.width, source.height);
  if (!bitmap) return nullptr;
  for (int i = 0; i < source.height; ++i)
    std::memcpy(bitmap->memoryRow(i), source.rows.data() + static_cast<std::size_t>(i) * source.width * 4,
                static_cast<std::size_t>(source.width) * 4);
  return bitmap;
}

}  // namespace registered

void registerResource(const char* type, std::uint16_t number, std::span<const std::uint8_t> bytes) {
  registeredList().push_back({type, number, bytes});
  ++gGeneration;
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
  ++gGeneration;
}

void unregisterResources() {
  registeredList().clear();
  classicBitmaps().clear();
  ++gGeneration;
}

std::uint64_t resourceGeneration() { return gGeneration; }

}  // namespace platform
