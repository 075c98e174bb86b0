#pragma once

// Pages into a TIFF being written: copied as stored when already in the form we
// write, or compressed from decoded pixels.

#include <cstdint>
#include <vector>

#include "engine/image/raster.h"
#include "engine/tiff/page_directory.h"
#include "engine/tiff/tiff_io.h"
#include "engine/write/tiff_output.h"

namespace folio::engine {

// Page numbering written into every page's directory.
struct PagePosition {
    int index = 0;  // zero-based
    int count = 1;
};

// Marks the current directory of `out` as page `position` of a document (the
// PageNumber tag holds 16 bits; larger numbers are written as the largest).
void SetPagePosition(TIFF* out, PagePosition position);

// Whether the current page of `in` can go to the output as it is: its compressed
// strips or tiles copied without decoding. True only for a page that is not turned,
// stands upright (Orientation 1), and is already in the form the writer produces:
// bilevel as CCITT G4, anything else as LZW or Deflate in a colour model every
// reader knows, with samples of more than 8 bits only when the file's byte order
// is the machine's (that of the output). The directory must also agree with what
// the document says of the page (`expected`), so a file changed on disk since it
// was opened is never copied from; `fileSize` bounds the data the page may claim.
bool CanCopyUnchanged(TIFF* in, const PageInfo& expected, int quarterTurns, uint64_t fileSize);

// The same judged from what the document says of the page, without reading its
// directory again; CanCopyUnchanged has the last word.
bool MayCopyUnchanged(const PageInfo& info, int quarterTurns);

// Copies the current page of `in` to a new directory of `out`: its tags and its
// compressed strips or tiles byte for byte, reading chunks that lie together in
// the file at once, straight into the output's buffer. Returns false on a failure (the reason is in
// the output's message log or, for a failed read, in `in`).
// Its resolution is written from `info` (what the document says of the page).
bool CopyPageUnchanged(TiffSourceFile& in, TiffOutputFile& out, const PageInfo& info,
                       PagePosition position);

// Resolution to record for a page: dots per inch, or when those are 0 the shape
// of its pixels (X over Y resolution) from tags that carry no unit.
struct PageResolution {
    double xDpi = 0.0;
    double yDpi = 0.0;
    double pixelAspect = 1.0;

    // Whether it gives the page a size, not only the shape of its pixels.
    bool HasSize() const { return xDpi > 0.0 && yDpi > 0.0; }
};

// The resolution of the page `info` describes; with `turned`, of that page turned
// a quarter (its axes swapped).
PageResolution ResolutionOf(const PageInfo& info, bool turned = false);

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
