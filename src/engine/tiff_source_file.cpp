#include "engine/tiff_source_file.h"

#include <tiffio.h>

#include "common/error.h"

namespace folio::engine {

TiffSourceFile::TiffSourceFile(const std::string& path) {
    if (path.empty()) {
        return;
    }
    try {
        file_ = TiffFile::Open(path, path);
    } catch (const Error&) {
        // Copying is only a shortcut; without it every page is decoded.
        file_.reset();
    }
}

bool TiffSourceFile::SelectPage(uint64_t offset) {
    return file_ != nullptr && TIFFSetSubDirectory(file_->Handle(), offset) == 1;
}

std::string TiffSourceFile::TakeError(const std::string& fallback) {
    std::string error = file_ ? file_->TakeError() : std::string();
    return error.empty() ? fallback : error;
}

}  // namespace folio::engine
