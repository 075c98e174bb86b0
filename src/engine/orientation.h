#pragma once

#include <cstdint>

#include "engine/raster.h"

namespace folio::engine {

// Turns a page decoded in its stored row order upright according to its TIFF
// Orientation tag (1 to 8); 5 to 8 swap width and height.
void ApplyOrientation(Raster& raster, uint16_t orientation);

}  // namespace folio::engine
