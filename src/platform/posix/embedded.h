// Resources compiled into the library (the build generates the table from resources/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform::embedded {

struct Entry {
  const char* type;
  std::uint16_t number;
  std::span<const std::uint8_t> bytes;
  // Packed bytes (one zstd frame) unpack to this many; 0 for bytes carried as they are.
  std::size_t unpackedSize;
};

extern const Entry kEntries[];
extern const std::size_t kEntryCount;

}  // namespace platform::embedded
