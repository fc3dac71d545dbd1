#include "platform/resources.h"

#include <zstd.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "platform/posix/embedded.h"
#include "platform/shared/registered_resources.h"

namespace platform {
namespace {

// The library's own entry of that type and number, or null.
const embedded::Entry* entryOf(const char* type, std::uint16_t id) {
  for (std::size_t i = 0; i < embedded::kEntryCount; ++i) {
    const auto& e = embedded::kEntries[i];
    if (e.number == id && std::strcmp(e.type, type) == 0) return &e;
  }
  return nullptr;
}

// A packed resource unpacked whole, once for the process: the span handed out must stay valid.
struct Unpacked {
  std::once_flag once;
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t size = 0;
};

std::span<const std::uint8_t> unpack(const embedded::Entry& entry) {
  static const std::unique_ptr<Unpacked[]> unpacked = std::make_unique<Unpacked[]>(embedded::kEntryCount);
  Unpacked& slot = unpacked[&entry - embedded::kEntries];
  std::call_once(slot.once, [&] {
    // Without memory this throws and the next lookup tries again, as every allocation of an open.
    std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[entry.unpackedSize]);
    const std::size_t size =
        ZSTD_decompress(bytes.get(), entry.unpackedSize, entry.bytes.data(), entry.bytes.size());
    if (size != entry.unpackedSize) return;
    slot.bytes = std::move(bytes);
    slot.size = size;
  });
  return {slot.bytes.get(), slot.size};
}

// A packed resource unpacked as it is read, through a window of the packer's small size.
class UnpackingStream final : public ResourceStream {
 public:
  explicit UnpackingStream(std::span<const std::uint8_t> packed)
      : stream_(ZSTD_createDStream()), input_{packed.data(), packed.size(), 0} {
    if (!stream_) throw std::bad_alloc();
  }
  ~UnpackingStream() override { ZSTD_freeDStream(stream_); }

  bool read(std::uint8_t* out, std::size_t size) override {
    ZSTD_outBuffer output{out, size, 0};
    while (output.pos < output.size) {
      const std::size_t written = output.pos, taken = input_.pos;
      const std::size_t result = ZSTD_decompressStream(stream_, &output, &input_);
      if (ZSTD_isError(result) || (output.pos == written && input_.pos == taken)) return false;
    }
    return true;
  }

 private:
  ZSTD_DStream* stream_;
  ZSTD_inBuffer input_;
};

}  // namespace

// The resources are part of this very binary, so the module handle is not needed to reach them.
std::span<const std::uint8_t> findResource(ModuleHandle /*module*/, const char* type, std::uint32_t number) {
  if (!type) return {};
  const auto id = static_cast<std::uint16_t>(number & 0xFFFFu);
  if (const embedded::Entry* entry = entryOf(type, id))
    return entry->unpackedSize == 0 ? entry->bytes : unpack(*entry);
  return registered::findResource(type, id);
}

std::unique_ptr<ResourceStream> openResource(ModuleHandle module, const char* type, std::uint32_t number) {
  if (!type) return nullptr;
  const embedded::Entry* entry = entryOf(type, static_cast<std::uint16_t>(number & 0xFFFFu));
  if (entry && entry->unpackedSize != 0) return std::make_unique<UnpackingStream>(entry->bytes);
  const std::span<const std::uint8_t> bytes = findResource(module, type, number);
  return bytes.empty() ? nullptr : std::make_unique<ByteStream>(bytes);
}

std::unique_ptr<Bitmap> loadClassicBitmap(ModuleHandle /*module*/, std::uint32_t number) {
  return registered::loadClassicBitmap(static_cast<std::uint16_t>(number & 0xFFFFu));
}

}  // namespace platform
