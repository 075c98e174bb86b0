#pragma once

#include <string>
#include <vector>

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
};

// `pdf|export --output-dir DIR [--recursive] INPUT...`: each input file to one
// output file, keeping the folders' layout, several files at once, with progress
// on standard error. A file that fails is named with its reason and the others
// go on. Returns 0 when every file was converted whole, 3 when pages were skipped,
// 1 when any file failed.
int RunBatch(const BatchRequest& request);

}  // namespace folio::convert
