#pragma once

#include "engine/raster.h"

namespace folio::engine {

// A raster with `source`'s geometry, depth and colour model but no pixels.
Raster RasterHeader(const Raster& source);

}  // namespace folio::engine
