#pragma once

#include <tiffio.h>

#include <cstdint>
#include <string>

#include "engine/tiff_message_log.h"

namespace folio::engine {

// The document's own file (TIFF or .mdi) opened read-only with libtiff, for
// copying pages' compressed data unchanged.
class TiffSourceFile {
  public:
    // An unopened source when `path` is empty or cannot be opened as TIFF: the
    // writer then decodes every page instead of copying.
    explicit TiffSourceFile(const std::string& path);
    ~TiffSourceFile();
    TiffSourceFile(const TiffSourceFile&) = delete;
    TiffSourceFile& operator=(const TiffSourceFile&) = delete;

    bool IsOpen() const { return tif_ != nullptr; }
    TIFF* Handle() const { return tif_; }
    // Makes the page whose directory starts at `offset` the current one.
    bool SelectPage(uint64_t offset);
    uint64_t FileSize() const { return size_; }
    // libtiff's first error on the file since the last call, or `fallback`.
    std::string TakeError(const std::string& fallback);

  private:
    TiffMessageLog log_;
    int fd_ = -1;
    uint64_t size_ = 0;
    TIFF* tif_ = nullptr;
};

}  // namespace folio::engine
