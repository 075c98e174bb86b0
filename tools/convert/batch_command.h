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
};

// `pdf|export --output-dir DIR [--recursive] INPUT...`: each input file to one
// output file, keeping the folders' layout, several files at once, with progress
// on standard error. A file that fails is named with its reason and the others
// go on. Returns 0 when every file was converted, 1 otherwise.
int RunBatch(const BatchRequest& request);

}  // namespace folio::convert
