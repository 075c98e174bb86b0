#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/global_memory.h"

namespace folio::dialogs {

// A new movable, zeroed block holding `bytes`; raises the out-of-memory error when
// none can be had.
GlobalHandle NewBlockWith(GlobalMemory& memory, std::span<const uint8_t> bytes);
// The first `size` bytes of the block; bytes the block does not have (or all of
// them, for a handle that cannot be locked) read as 0.
std::vector<uint8_t> ReadBlock(GlobalMemory& memory, GlobalHandle handle, size_t size);

}  // namespace folio::dialogs
