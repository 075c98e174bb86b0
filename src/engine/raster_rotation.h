#pragma once

#include "engine/raster.h"

namespace folio::engine {

// Returns `raster` turned clockwise by `quarterTurns` quarter turns (any integer;
// taken modulo 4, negative turns counter-clockwise). Works for every bit depth from
// 1 to 16 and any number of samples per pixel, and is exact: four quarter turns
// give back the original pixels. Padding bits at the end of a row come out zero.
Raster RotateRaster(const Raster& raster, int quarterTurns);

}  // namespace folio::engine
