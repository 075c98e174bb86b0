#include "dialogs/global_blocks.h"

#include <algorithm>
#include <cstring>

#include "common/error.h"
#include "common/error_numbers.h"

namespace folio::dialogs {

GlobalHandle NewBlockWith(GlobalMemory& memory, std::span<const uint8_t> bytes) {
    const GlobalHandle handle = memory.GlobalAlloc(kGlobalMoveable | kGlobalZeroInit, bytes.size());
    if (handle == 0) {
        throw Error(errors::kOutOfMemory, "Out of memory for the print dialog's records");
    }
    if (uint8_t* data = memory.GlobalLock(handle)) {
        std::memcpy(data, bytes.data(), bytes.size());
        memory.GlobalUnlock(handle);
    }
    return handle;
}

std::vector<uint8_t> ReadBlock(GlobalMemory& memory, GlobalHandle handle, size_t size) {
    std::vector<uint8_t> bytes(size, 0);
    if (const uint8_t* data = memory.GlobalLock(handle)) {
        std::memcpy(bytes.data(), data, std::min(size, memory.GlobalSize(handle)));
        memory.GlobalUnlock(handle);
    }
    return bytes;
}

}  // namespace folio::dialogs
