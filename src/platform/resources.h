// Resources carried by the library itself, found by type name and number.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/module.h"
#include "platform/surface.h"

namespace platform {

// Bytes of the resource, or an empty span when there is none. Only the low 16 bits of the number
// name a resource.
std::span<const std::uint8_t> findResource(ModuleHandle module, const char* type, std::uint32_t number);

// The bytes of a resource read in order from the start. One the library carries packed is unpacked
// as it is read, never into a buffer of its whole size.
class ResourceStream {
 public:
  virtual ~ResourceStream() = default;
  // The next `size` bytes into `out`; false when fewer are left (what `out` then holds is not said).
  virtual bool read(std::uint8_t* out, std::size_t size) = 0;
};

// A stream of the resource findResource finds, or null when there is none.
std::unique_ptr<ResourceStream> openResource(ModuleHandle module, const char* type, std::uint32_t number);

// A stream of bytes already in memory.
class ByteStream final : public ResourceStream {
 public:
  explicit ByteStream(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool read(std::uint8_t* out, std::size_t size) override {
    if (size > bytes_.size()) return false;
    std::copy_n(bytes_.data(), size, out);
    bytes_ = bytes_.subspan(size);
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

// A classic (uncompressed, alpha-less) bitmap resource, or null when the library has none.
std::unique_ptr<Bitmap> loadClassicBitmap(ModuleHandle module, std::uint32_t number);

// Adds a resource at run time (tests, and systems without a resource format of their own). The
// bytes must outlive every lookup and stay unchanged while they are registered.
void registerResource(const char* type, std::uint16_t number, std::span<const std::uint8_t> bytes);
// The pixels are copied; a classic bitmap has no alpha, so the alpha bytes are ignored.
void registerClassicBitmap(std::uint16_t number, const Bitmap& pixels);
void unregisterResources();

// Changes with every registration and unregistration. While it stays the same, bytes found at the
// same address are the same bytes (the library's own resources never change), so what was made of
// them may be kept.
std::uint64_t resourceGeneration();

}  // namespace platform
