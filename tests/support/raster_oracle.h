#pragma once

#include <cstdint>

#include "engine/image/raster.h"
#include "support/tiff_fixture.h"

namespace folio::engine::testing {

// The sample at (x, y, channel) of a raster.
uint32_t RasterSample(const Raster& raster, uint32_t x, uint32_t y, uint16_t channel);

// A raster holding the layout's pixels, in the layout's depth and colour model.
Raster RasterFromTestPage(const TestPage& layout);

// A pixel-by-pixel clockwise turn, the plainest way there is: what the engine's
// rotation is checked against.
Raster ReferenceRotate(const Raster& raster, int quarterTurns);

// Whether two rasters hold the same pixels (padding bits ignored), the same
// geometry and the same colour model.
bool SamePixels(const Raster& a, const Raster& b);

}  // namespace folio::engine::testing
