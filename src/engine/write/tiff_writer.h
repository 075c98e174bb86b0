#pragma once

// Export to TIFF: every page, as turned, copied or encoded on worker threads, into
// a file written atomically.

#include <string>

#include "engine/document/page_source.h"
#include "sys/files.h"

namespace folio::engine {

// Writes every page of `source`, as currently turned, to a multi-page TIFF at
// `targetPath` (UTF-8). Bilevel pages become CCITT G4, others are written
// losslessly in their own depth and colour model; a page that needs no change is
// copied without decoding. Writes beside the target and renames into place: on any
// failure folio::Error is raised, the target is untouched and no stray file remains.
// `target` says whether an existing file is replaced. Given `skipped`, pages that
// cannot be decoded or reached are left out instead of failing the export, each
// listed there; the file then needs one page written. Pages found damaged as they
// are decoded are written as read, their damage kept in the source's page info,
// unless `checks` say otherwise.
void WriteTiff(const PageSource& source, const std::string& targetPath,
               sys::AtomicFile::Options target = sys::AtomicFile::Options{},
               std::vector<SkippedPage>* skipped = nullptr, DamageChecks checks = {});

}  // namespace folio::engine
