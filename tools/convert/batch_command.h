#pragma once

#include <string>
#include <vector>

#include "engine/document/page_source.h"

namespace folio::convert {

// What the converted files become.
enum class BatchFormat { Pdf, Tiff };

struct BatchRequest {
    BatchFormat format = BatchFormat::Pdf;
    std::vector<std::string> inputs;  // files, and with `recursive` folders
    std::string outputDir;
    bool recursive = false;
    bool overwrite = false;
    int angle = 0;  // --rotate
    // --skip-damaged: pages that cannot be decoded or reached are left out (TIFF)
    // or written as notices (PDF) instead of failing their file.
    bool skipDamaged = false;
    // --verify and --strict (which brings --verify with it here).
    engine::DamageChecks checks;
};

// `pdf|export --output-dir DIR [--recursive] INPUT...`: each input file to one
// output file, keeping the folders' layout, several files at once, with progress
// on standard error. A file that fails is named with its reason and the others
// go on. Returns 0 when every file was converted whole, 3 when pages were skipped
// or written damaged, 1 when any file failed (with --strict, one with a damaged page).
int RunBatch(const BatchRequest& request);

}  // namespace folio::convert
