#pragma once

#include <cstddef>
#include <cstdint>

typedef struct tiff TIFF;

namespace folio::engine {

// Reads every strip or tile of one sample plane (plane 0 of a chunky page holds
// all samples) of the page libtiff stands on into `out`: `height` rows of
// `rowBytes`, as stored. `pixelBits` is the bits per pixel within the plane; a
// tiled page needs tiles whose width makes whole bytes. Returns false when libtiff
// fails (its message is in the file's error) or a tile is implausibly large.
bool ReadPlane(TIFF* tif, uint16_t plane, uint32_t height, size_t rowBytes, uint16_t pixelBits,
               uint8_t* out);

// Whether ReadPlane can place this page's tiles (tile width times pixel bits is
// whole bytes).
bool TilesAreByteAligned(TIFF* tif, uint16_t pixelBits);

}  // namespace folio::engine
