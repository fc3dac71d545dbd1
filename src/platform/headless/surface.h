// Surfaces without a display: the software surfaces of the raster, under the names the tests of the
// headless window system know them by.
#pragma once

#include "platform/raster/surface.h"

namespace platform::headless {

using HeadlessBitmap = raster::RasterBitmap;
using HeadlessSurface = raster::RasterSurface;
using raster::SurfaceState;

}  // namespace platform::headless
