#include "platform/posix/global_memory_table.h"

#include <limits>
#include <new>
#include <stdexcept>

namespace folio::posix {

GlobalMemoryTable::Block* GlobalMemoryTable::Find(GlobalHandle handle) {
    const auto found = blocks_.find(handle);
    return found == blocks_.end() ? nullptr : &found->second;
}

GlobalHandle GlobalMemoryTable::GlobalAlloc(uint32_t, size_t bytes) {
    // Every block is zeroed, whether or not the zero-init flag asks for it.
    if (next_ == std::numeric_limits<GlobalHandle>::max()) {
        return 0;
    }
    try {
        // Windows hands out a usable block even for 0 bytes; so does a vector.
        blocks_.emplace(next_, Block{std::vector<uint8_t>(bytes, 0), 0});
    } catch (const std::bad_alloc&) {
        return 0;
    } catch (const std::length_error&) {
        return 0;
    }
    return next_++;
}

uint8_t* GlobalMemoryTable::GlobalLock(GlobalHandle handle) {
    Block* block = Find(handle);
    if (block == nullptr) {
        return nullptr;
    }
    ++block->locks;
    // A zero-byte block still gives a pointer, as the lock succeeded.
    static uint8_t empty = 0;
    return block->bytes.empty() ? &empty : block->bytes.data();
}

bool GlobalMemoryTable::GlobalUnlock(GlobalHandle handle) {
    Block* block = Find(handle);
    if (block == nullptr || block->locks == 0) {
        return false;
    }
    return --block->locks > 0;
}

GlobalHandle GlobalMemoryTable::GlobalFree(GlobalHandle handle) {
    return blocks_.erase(handle) == 1 ? 0 : handle;
}

size_t GlobalMemoryTable::GlobalSize(GlobalHandle handle) {
    const Block* block = Find(handle);
    return block == nullptr ? 0 : block->bytes.size();
}

}  // namespace folio::posix
