#include "engine/page_directory.h"

#include <tiffio.h>

#include <unordered_set>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/page_info_reader.h"
#include "engine/tiff_file.h"

namespace folio::engine {
namespace {

[[noreturn]] void Fail(const TiffFile& file, const std::string& what) {
    throw Error(errors::kDamagedFile, file.Name() + ": " + what);
}

}  // namespace

std::vector<PageEntry> ReadPageDirectory(TiffFile& file, int maxPages) {
    TIFF* tif = file.Handle();
    std::vector<PageEntry> pages;
    std::unordered_set<uint64_t> seen;
    for (;;) {
        const uint64_t offset = TIFFCurrentDirOffset(tif);
        if (!seen.insert(offset).second) {
            Fail(file, "the page chain loops back after page " + std::to_string(pages.size()));
        }
        if (static_cast<int>(pages.size()) >= maxPages) {
            Fail(file, "more than " + std::to_string(maxPages) + " pages");
        }
        pages.push_back({offset, ReadPageInfo(tif)});
        if (TIFFLastDirectory(tif)) {
            break;
        }
        // libtiff would stop quietly at a loop; name it instead.
        const uint64_t next = file.NextDirectoryOffset(offset);
        if (seen.count(next) != 0) {
            Fail(file, "the page chain loops back after page " + std::to_string(pages.size()));
        }
        const std::string page = std::to_string(pages.size() + 1);
        if (next >= file.Size()) {
            Fail(file, "page " + page + " cannot be read, it lies past the end of the file");
        }
        if (TIFFReadDirectory(tif) != 1) {
            const std::string why = file.TakeError();
            Fail(file, "page " + page + " cannot be read, the file is damaged or truncated" +
                           (why.empty() ? "" : " (" + why + ")"));
        }
    }
    return pages;
}

}  // namespace folio::engine
