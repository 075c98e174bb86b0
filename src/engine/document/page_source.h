#pragma once

// A document's pages as the writers (TIFF, PDF) and the printer see them.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/image/raster.h"
#include "engine/tiff/page_directory.h"

namespace folio::engine {

class TiffFile;

// A document's pages as the TIFF writer (export) and the printer see them.
class PageSource {
  public:
    virtual ~PageSource() = default;

    virtual int PageCount() const = 0;
    // As stored, before any turn; with the damage known so far (PageInfo::damage),
    // which decoding the page may add to.
    virtual PageInfo Info(int page) const = 0;
    // The page's turn in clockwise quarter turns, 0 to 3.
    virtual int QuarterTurns(int page) const = 0;
    // The page's pixels, unturned. Raises folio::Error naming the page and the
    // reason when it cannot be decoded (e.g. an unsupported compression).
    virtual std::shared_ptr<const Raster> Decode(int page) const = 0;
    // Decodes the page only to find damage in its data, as a writer does for a page
    // it copies as stored; returns the page's damage then ("" for none). Safe to call
    // on several threads at once, side by side where the source can. Raises as
    // Decode does.
    virtual std::string Verify(int page) const {
        Decode(page);
        return Info(page).damage;
    }
    // The source file (empty for none) and the page's directory offset in it, so
    // that a writer can copy a page's compressed data unchanged.
    virtual std::filesystem::path FilePath() const = 0;
    virtual uint64_t DirectoryOffset(int page) const = 0;
    // That file opened once more for the writer's own use, on the descriptor the
    // document was opened with (never its path again, which another file may have
    // taken since); null when there is none to copy from.
    virtual std::unique_ptr<TiffFile> OpenFile() const = 0;
};

// What a writer does about pages read in spite of damage (PageInfo::damage).
struct DamageChecks {
    // Pages whose data goes out as stored are decoded as well, side by side in the
    // decode-ahead stage, so that damage in that data is found too.
    bool verify = false;
    // A damaged page fails the file, as a page that cannot be decoded does, and is
    // never left out or stood in for: nothing is written.
    bool strict = false;
};

// A page a writer left out, or stood in for, because it cannot be decoded or
// reached, and why.
struct SkippedPage {
    const PageSource* source = nullptr;
    int page = 0;        // zero-based
    std::string reason;  // naming neither the file nor the page
};

}  // namespace folio::engine
