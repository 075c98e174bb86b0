#pragma once

#include <tiffio.h>

#include "engine/raster.h"
#include "engine/tiff_page_copier.h"

namespace folio::engine {

// Resolution to record for a page, in dots per inch; 0 leaves the tags out.
struct PageResolution {
    double xDpi = 0.0;
    double yDpi = 0.0;
};

// The compression the writer chooses for decoded pixels: CCITT G4 for bilevel
// (one bit, MinIsWhite or MinIsBlack), Deflate for everything else.
uint16_t TargetCompression(const Raster& raster);

// Writes `raster` as a new directory of `out`, losslessly, in its own bit depth
// and colour model. Returns false on a libtiff failure (the reason is in the
// output's message log); raises folio::Error when the raster itself is unusable.
bool EncodePage(TIFF* out, const Raster& raster, PageResolution resolution, PagePosition position);

}  // namespace folio::engine
