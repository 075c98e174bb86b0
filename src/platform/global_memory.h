#pragma once

#include <cstddef>
#include <cstdint>

namespace folio {

// A block of global memory as the print dialog exchanges its records: a handle, not
// a pointer; 0 is none.
using GlobalHandle = uint32_t;

// Allocation flags, with the values Windows gives them.
inline constexpr uint32_t kGlobalMoveable = 0x2;
inline constexpr uint32_t kGlobalZeroInit = 0x40;

// Movable global memory blocks, with the meaning of Windows' Global* functions.
class GlobalMemory {
  public:
    virtual ~GlobalMemory() = default;
    // A new block of `bytes` bytes (zeroed with kGlobalZeroInit), or 0 on failure.
    virtual GlobalHandle GlobalAlloc(uint32_t flags, size_t bytes) = 0;
    // The block's first byte, held in place until the matching unlock; null for a
    // handle that names no block.
    virtual uint8_t* GlobalLock(GlobalHandle handle) = 0;
    // True while the block is still locked after this unlock.
    virtual bool GlobalUnlock(GlobalHandle handle) = 0;
    // Frees the block (locked or not): 0 on success, `handle` when it names no block.
    virtual GlobalHandle GlobalFree(GlobalHandle handle) = 0;
    // The block's size in bytes; 0 for a handle that names no block.
    virtual size_t GlobalSize(GlobalHandle handle) = 0;
};

}  // namespace folio
