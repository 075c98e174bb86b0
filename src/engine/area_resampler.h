#pragma once

#include "engine/raster.h"
#include "engine/rendered_image.h"

namespace folio::engine {

// Where the output grid lies over a raster: output pixel (i, j) covers the source
// area [(originX + i) / scaleX, (originX + i + 1) / scaleX) by the same in y, in
// source pixels. Scales are output pixels per source pixel.
struct ResampleGrid {
    double scaleX = 1.0;
    double scaleY = 1.0;
    double originX = 0.0;
    double originY = 0.0;
    int width = 0;
    int height = 0;
};

// Produces exactly the grid's pixels by area averaging: each output pixel is the
// mean of the source area it covers (a box filter with fractional edges), so a
// bilevel page shrinks to gray levels and an enlarged one keeps crisp pixel
// edges. Area outside the page is white. Gray8 for gray and bilevel rasters,
// Argb32 for the rest.
RenderedImage ResampleArea(const Raster& raster, const ResampleGrid& grid);

}  // namespace folio::engine
