#pragma once

// Export to PDF: qpdf writes the file from the pages' images.

#include <filesystem>
#include <vector>

#include "engine/document/page_source.h"
#include "engine/document/progress.h"
#include "sys/files.h"

namespace folio::engine {

// Writes every page of `sources`, one document after another, each page as
// currently turned, to one PDF at `targetPath`. CCITT and baseline JPEG
// pages go in as stored (their turns become the page's /Rotate); other pages are
// decoded and written without loss. Page sizes follow the pages' resolutions.
// Writes beside the target and renames into place: on any failure folio::Error
// names the page and the reason, and the target is untouched with no stray file.
// `target` says whether an existing file is replaced. Given `skipped`, a page that
// cannot be decoded or reached becomes a page of its size stating its number and
// why, instead of failing the file; each such page is listed there. Pages found
// damaged as they are decoded are written as read, their damage kept in their
// source's page info, unless `checks` say otherwise. `progress` hears of every
// page; when it cancels, the file is abandoned as on any failure.
void WritePdf(const std::vector<const PageSource*>& sources,
              const std::filesystem::path& targetPath,
              sys::AtomicFile::Options target = sys::AtomicFile::Options{},
              std::vector<SkippedPage>* skipped = nullptr, DamageChecks checks = {},
              const Progress& progress = {});

}  // namespace folio::engine
