#pragma once

#include <tiffio.h>

#include <cstdint>
#include <vector>

#include "engine/tiff_message_log.h"

namespace folio::engine {

// A TIFF written into memory, so that a page can be compressed on any thread
// without touching the output file.
class MemoryTiff {
  public:
    // Raises folio::Error when libtiff cannot start the file.
    MemoryTiff();
    ~MemoryTiff();
    MemoryTiff(const MemoryTiff&) = delete;
    MemoryTiff& operator=(const MemoryTiff&) = delete;

    TIFF* Handle() const { return tif_; }
    const TiffMessageLog& Log() const { return log_; }
    // The bytes written so far at [offset, offset + size), or empty when out of range.
    std::vector<uint8_t> Bytes(uint64_t offset, uint64_t size) const;

    struct Store {
        std::vector<uint8_t> bytes;
        uint64_t position = 0;
    };

  private:
    TiffMessageLog log_;
    Store store_;
    TIFF* tif_ = nullptr;
};

}  // namespace folio::engine
