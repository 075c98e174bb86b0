#pragma once

// Quarter turns and mirroring of pixels: one implementation behind a page's
// Orientation tag, the user's rotation of a page and the rotation of rendered
// images.

#include <cstdint>

#include "engine/image/raster.h"

namespace folio::engine {

// A mirror image (left and right swapped) when `mirror`, then `turns` clockwise
// quarter turns (0 to 3).
struct PixelTransform {
    int turns = 0;
    bool mirror = false;
};

// What makes a page stored with the TIFF Orientation value upright: 2 mirrored,
// 3 upside down, 4 flipped, 5 transposed, 6 rows stored as columns, 7 transversed,
// 8 columns the other way. 1 and values outside 1 to 8 leave the page as it is.
PixelTransform UprightTransform(uint16_t orientation);

// Returns `raster` rotated clockwise by `quarterTurns` quarter turns (any integer;
// taken modulo 4, negative turns counter-clockwise). Works for every bit depth from
// 1 to 16 and any number of samples per pixel, and is exact: four quarter turns
// give back the original pixels. Padding bits at the end of a row come out zero.
Raster RotateRaster(const Raster& raster, int quarterTurns);

// The image rotated clockwise by `quarterTurns` quarter turns (any integer).
RenderedImage RotateImage(RenderedImage image, int quarterTurns);

// Turns a page decoded in its stored row order upright according to its TIFF
// Orientation tag (1 to 8); 5 to 8 swap width and height.
void ApplyOrientation(Raster& raster, uint16_t orientation);

}  // namespace folio::engine
