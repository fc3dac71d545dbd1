#include "platform/resources.h"

#include <zstd.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "platform/posix/embedded.h"
#include "platform/shared/registered_resources.h"

namespace platform {
namespace {

// A packed resource unpacked, once for the process: the span handed out must stay valid.
struct Unpacked {
  std::once_flag once;
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t size = 0;
};

std::span<const std::uint8_t> unpack(const embedded::Entry& entry, Unpacked& unpacked) {
  std::call_once(unpacked.once, [&] {
    // Without memory this throws and the next lookup tries again, as every allocation of an open.
    std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[entry.unpackedSize]);
    const std::size_t size =
        ZSTD_decompress(bytes.get(), entry.unpackedSize, entry.bytes.data(), entry.bytes.size());
    if (size != entry.unpackedSize) return;
    unpacked.bytes = std::move(bytes);
    unpacked.size = size;
  });
  return {unpacked.bytes.get(), unpacked.size};
}

}  // namespace

// The resources are part of this very binary, so the module handle is not needed to reach them.
std::span<const std::uint8_t> findResource(ModuleHandle /*module*/, const char* type, std::uint32_t number) {
  if (!type) return {};
  const auto id = static_cast<std::uint16_t>(number & 0xFFFFu);
  for (std::size_t i = 0; i < embedded::kEntryCount; ++i) {
    const auto& e = embedded::kEntries[i];
    if (e.number != id || std::strcmp(e.type, type) != 0) continue;
    if (e.unpackedSize == 0) return e.bytes;
    static const std::unique_ptr<Unpacked[]> unpacked = std::make_unique<Unpacked[]>(embedded::kEntryCount);
    return unpack(e, unpacked[i]);
  }
  return registered::findResource(type, id);
}

std::unique_ptr<Bitmap> loadClassicBitmap(ModuleHandle /*module*/, std::uint32_t number) {
  return registered::loadClassicBitmap(static_cast<std::uint16_t>(number & 0xFFFFu));
}

}  // namespace platform
