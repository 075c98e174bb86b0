#pragma once

#include <cstdint>
#include <vector>

#include "engine/engine_limits.h"
#include "engine/page_info.h"

namespace folio::engine {

class TiffFile;

// One page of a file: where its directory is, and what it says.
struct PageEntry {
    uint64_t offset = 0;
    PageInfo info;
};

// Walks the file's page chain once, from the first page (where a freshly opened
// file stands). Raises folio::Error naming the file for a chain that loops, a
// directory that cannot be read (past the end, damaged), or more than `maxPages`.
std::vector<PageEntry> ReadPageDirectory(TiffFile& file, int maxPages = kMaxPages);

}  // namespace folio::engine
