#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/tiff_file.h"

namespace folio::engine {

// The document's own file (TIFF or .mdi) opened read-only, for copying pages'
// compressed data unchanged.
class TiffSourceFile {
  public:
    // An unopened source when `path` is empty or cannot be opened as TIFF: the
    // writer then decodes every page instead of copying.
    explicit TiffSourceFile(const std::string& path);

    bool IsOpen() const { return file_ != nullptr; }
    TIFF* Handle() const { return file_ ? file_->Handle() : nullptr; }
    // Makes the page whose directory starts at `offset` the current one.
    bool SelectPage(uint64_t offset);
    uint64_t FileSize() const { return file_ ? file_->Size() : 0; }
    // Reads exactly `size` bytes at `offset` as libtiff sees them; false (and an
    // error for TakeError) when the file no longer holds them.
    bool ReadRange(uint64_t offset, uint8_t* out, uint64_t size);
    // libtiff's first error on the file since the last call, or `fallback`.
    std::string TakeError(const std::string& fallback);

  private:
    std::unique_ptr<TiffFile> file_;
    std::string readError_;
};

}  // namespace folio::engine
