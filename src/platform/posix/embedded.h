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
};

extern const Entry kEntries[];
extern const std::size_t kEntryCount;

}  // namespace platform::embedded
