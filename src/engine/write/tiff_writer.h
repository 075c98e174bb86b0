#pragma once

// Export to TIFF: every page, as turned, copied or encoded on worker threads, into
// a file written atomically.

#include <filesystem>
#include <vector>

#include "engine/document/page_source.h"
#include "engine/document/progress.h"
#include "sys/files.h"

namespace folio::engine {

// Writes every page of `source`, as currently turned, to a multi-page TIFF at
// `targetPath`. Bilevel pages become CCITT G4, others are written
// losslessly in their own depth and colour model; a page that needs no change is
// copied without decoding. Writes beside the target and renames into place: on any
// failure folio::Error is raised, the target is untouched and no stray file remains.
// `target` says whether an existing file is replaced. Given `skipped`, pages that
// cannot be decoded or reached are left out instead of failing the export, each
// listed there; the file then needs one page written. Pages found damaged as they
// are decoded are written as read, their damage kept in the source's page info,
// unless `checks` say otherwise. `progress` hears of every page; when it cancels,
// the export stops and raises as on any failure.
void WriteTiff(const PageSource& source, const std::filesystem::path& targetPath,
               sys::AtomicFile::Options target = sys::AtomicFile::Options{},
               std::vector<SkippedPage>* skipped = nullptr, DamageChecks checks = {},
               const Progress& progress = {});

}  // namespace folio::engine
