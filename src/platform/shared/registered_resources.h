// Resources added at run time through the seam (tests, and systems without a resource format of
// their own), which every backend consults after the library's own resources.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/surface.h"

namespace platform::registered {

std::span<const std::uint8_t> findResource(const char* type, std::uint16_t number);
std::unique_ptr<Bitmap> loadClassicBitmap(std::uint16_t number);

}  // namespace platform::registered
