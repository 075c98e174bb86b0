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

bool TiffSourceFile::ReadRange(uint64_t offset, uint8_t* out, uint64_t size) {
    if (file_ != nullptr && file_->ReadAt(offset, out, size) == static_cast<int64_t>(size)) {
        return true;
    }
    if (readError_.empty()) {
        readError_ = "the page's data can no longer be read from the document's file";
    }
    return false;
}

std::string TiffSourceFile::TakeError(const std::string& fallback) {
    std::string error = file_ ? file_->TakeError() : std::string();
    if (error.empty()) {
        error.swap(readError_);
    }
    readError_.clear();
    return error.empty() ? fallback : error;
}

}  // namespace folio::engine
