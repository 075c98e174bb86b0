#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/page_info.h"
#include "engine/raster.h"

namespace folio::engine {

// A document's pages as the TIFF writer (export) and the printer see them.
class PageSource {
  public:
    virtual ~PageSource() = default;

    virtual int PageCount() const = 0;
    // As stored, before any turn.
    virtual PageInfo Info(int page) const = 0;
    // The page's turn in clockwise quarter turns, 0 to 3.
    virtual int QuarterTurns(int page) const = 0;
    // The page's pixels, unturned. Raises folio::Error naming the page and the
    // reason when it cannot be decoded (e.g. an unsupported compression).
    virtual std::shared_ptr<const Raster> Decode(int page) const = 0;
    // The source file (UTF-8 path) and the page's directory offset in it, so that
    // a writer can copy a page's compressed data unchanged.
    virtual const std::string& FilePath() const = 0;
    virtual uint64_t DirectoryOffset(int page) const = 0;
};

}  // namespace folio::engine
