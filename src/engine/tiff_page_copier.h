#pragma once

#include <tiffio.h>

#include <cstdint>

#include "engine/page_info.h"
#include "engine/tiff_output_file.h"
#include "engine/tiff_source_file.h"

namespace folio::engine {

// A tag of the current directory, or libtiff's default when it is absent.
template <typename T>
T Defaulted(TIFF* tif, uint32_t tag) {
    T value{};
    TIFFGetFieldDefaulted(tif, tag, &value);
    return value;
}

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
bool CopyPageUnchanged(TiffSourceFile& in, TiffOutputFile& out, PagePosition position);

}  // namespace folio::engine
