#pragma once

#include <map>
#include <vector>

#include "platform/global_memory.h"

namespace folio::posix {

// Global memory blocks kept in a table of handles. Blocks never move, so a locked
// block stays where it is; the lock count is kept only to answer unlocks as Windows
// does. Handles are not reused while the table lives, so a stale one names nothing.
class GlobalMemoryTable : public GlobalMemory {
  public:
    GlobalHandle GlobalAlloc(uint32_t flags, size_t bytes) override;
    uint8_t* GlobalLock(GlobalHandle handle) override;
    bool GlobalUnlock(GlobalHandle handle) override;
    GlobalHandle GlobalFree(GlobalHandle handle) override;
    size_t GlobalSize(GlobalHandle handle) override;

    // Blocks allocated and not yet freed.
    size_t LiveBlocks() const { return blocks_.size(); }

  private:
    struct Block {
        std::vector<uint8_t> bytes;
        int locks = 0;
    };
    Block* Find(GlobalHandle handle);

    std::map<GlobalHandle, Block> blocks_;
    GlobalHandle next_ = 1;
};

}  // namespace folio::posix
