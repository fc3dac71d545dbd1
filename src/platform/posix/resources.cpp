#include "platform/resources.h"

#include <cstring>

#include "platform/posix/embedded.h"
#include "platform/shared/registered_resources.h"

namespace platform {

// The resources are part of this very binary, so the module handle is not needed to reach them.
std::span<const std::uint8_t> findResource(ModuleHandle /*module*/, const char* type, std::uint32_t number) {
  if (!type) return {};
  const auto id = static_cast<std::uint16_t>(number & 0xFFFFu);
  for (std::size_t i = 0; i < embedded::kEntryCount; ++i) {
    const auto& e = embedded::kEntries[i];
    if (e.number == id && std::strcmp(e.type, type) == 0) return e.bytes;
  }
  return registered::findResource(type, id);
}

std::unique_ptr<Bitmap> loadClassicBitmap(ModuleHandle /*module*/, std::uint32_t number) {
  return registered::loadClassicBitmap(static_cast<std::uint16_t>(number & 0xFFFFu));
}

}  // namespace platform
