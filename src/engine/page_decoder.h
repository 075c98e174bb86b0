#pragma once

#include <cstddef>
#include <string>

#include "engine/page_info.h"
#include "engine/raster.h"

typedef struct tiff TIFF;

namespace folio::engine {

class TiffFile;

// Whether DecodePage can produce the pixels of the page libtiff stands on: its
// compression and its layout are ones we or libtiff decode (its data may still
// turn out damaged).
bool CanDecode(TIFF* tif, const PageInfo& info);

// Decodes the page `file` stands on (its directory already set) into a Raster in
// the page's own depth, upright. `where` names file and page in messages ("scan.mdi,
// page 3"). Raises folio::Error for an unsupported compression or layout, damaged
// data, or a page that would need more than `maxBytes` once decoded.
Raster DecodePage(TiffFile& file, const PageInfo& info, const std::string& where, size_t maxBytes);

}  // namespace folio::engine
