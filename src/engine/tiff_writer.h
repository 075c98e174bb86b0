#pragma once

// Export to TIFF: every page, as turned, copied or encoded on worker threads, into
// a file written atomically.

#include <string>

#include "engine/page_source.h"

namespace folio::engine {

// Writes every page of `source`, as currently turned, to a multi-page TIFF at
// `targetPath` (UTF-8). Bilevel pages become CCITT G4, others are written
// losslessly in their own depth and colour model; a page that needs no change is
// copied without decoding. Writes beside the target and renames into place: on any
// failure folio::Error is raised, the target is untouched and no stray file remains.
void WriteTiff(const PageSource& source, const std::string& targetPath);

}  // namespace folio::engine
