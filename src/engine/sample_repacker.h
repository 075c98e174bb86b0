#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/raster.h"

namespace folio::engine {

// How samples stored in a plane are to be placed in a raster.
struct SampleRepack {
    uint16_t bits = 8;            // as stored, 1 to 16
    uint16_t samplesInPlane = 1;  // all of them for a chunky page, 1 for a planar one
    uint16_t firstSample = 0;     // where the plane's samples go within a raster pixel
    bool isSigned = false;        // two's complement samples, shown offset by half the range
    bool scale = true;            // stretch to the raster's depth (not for palette indexes)
};

// Copies a plane of packed samples (`stride` bytes per row) into `raster` at its
// own depth (8 or 16 bits per sample), interleaving planes and widening odd depths
// such as 12-bit gray.
void RepackPlane(const uint8_t* plane, size_t stride, const SampleRepack& repack, Raster& raster);

}  // namespace folio::engine
