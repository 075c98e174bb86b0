#pragma once

#include <tiffio.h>

#include <cstdint>
#include <vector>

#include "engine/raster.h"
#include "engine/tiff_page_copier.h"

namespace folio::engine {

// Resolution to record for a page: dots per inch, or when those are 0 the shape
// of its pixels (X over Y resolution) from tags that carry no unit.
struct PageResolution {
    double xDpi = 0.0;
    double yDpi = 0.0;
    double pixelAspect = 1.0;
};

// The compression the writer chooses for decoded pixels: CCITT G4 for bilevel
// (one bit, MinIsWhite or MinIsBlack), Deflate for everything else.
uint16_t TargetCompression(const Raster& raster);

// A page compressed in memory, ready to be written to a file as it is.
struct EncodedPage {
    Raster header;  // geometry and colour model; no pixels
    PageResolution resolution;
    uint32_t rowsPerStrip = 0;
    std::vector<std::vector<uint8_t>> strips;
};

// Compresses `raster` losslessly in its own bit depth and colour model. Safe to
// call on any thread. Raises folio::Error naming the page (zero-based `page`)
// when the raster is unusable or the codec fails. With `singleStrip` the whole
// page is one strip (one CCITT stream for a bilevel page, as PDF wants it).
EncodedPage EncodePage(const Raster& raster, PageResolution resolution, int page,
                       bool singleStrip = false);

// Writes an encoded page as a new directory of `out`. Returns false on a libtiff
// failure (the reason is in the output's message log).
bool WriteEncodedPage(TIFF* out, const EncodedPage& page, PagePosition position);

}  // namespace folio::engine
