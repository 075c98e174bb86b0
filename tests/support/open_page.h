#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/document/engine_document.h"
#include "support/temp_dir.h"
#include "support/tiff_fixture.h"

namespace folio::engine::testing {

// Writes the pages to a file in `dir` and opens it.
inline std::unique_ptr<EngineDocument> OpenPages(
    const TempDir& dir, const std::vector<TestPage>& pages, const FileOptions& options = {},
    size_t cacheBudget = EngineDocument::kDefaultCacheBudget) {
    const std::string path = dir.File(options.mdiHeader ? "pages.mdi" : "pages.tif");
    WriteTiffFile(path, pages, options);
    auto document = std::make_unique<EngineDocument>(cacheBudget);
    document->Open(path);
    return document;
}

}  // namespace folio::engine::testing
