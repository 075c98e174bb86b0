#include "engine/memory_tiff.h"

#include <algorithm>
#include <cstring>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/tiff_client_procs.h"

namespace folio::engine {
namespace {

MemoryTiff::Store& StoreOf(thandle_t handle) {
    return *static_cast<MemoryTiff::Store*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryTiff::Store& s = StoreOf(handle);
    if (size < 0 || s.position >= s.bytes.size()) {
        return 0;
    }
    const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(size), s.bytes.size() - s.position);
    std::memcpy(buffer, s.bytes.data() + s.position, n);
    s.position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryTiff::Store& s = StoreOf(handle);
    if (size < 0) {
        return -1;
    }
    const uint64_t end = s.position + static_cast<uint64_t>(size);
    if (end > s.bytes.size()) {
        s.bytes.resize(end);
    }
    std::memcpy(s.bytes.data() + s.position, buffer, static_cast<size_t>(size));
    s.position = end;
    return size;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    MemoryTiff::Store& s = StoreOf(handle);
    const toff_t target = SeekTarget(s.position, s.bytes.size(), offset, whence);
    if (target != static_cast<toff_t>(-1)) {
        s.position = target;
    }
    return target;
}

toff_t SizeProc(thandle_t handle) {
    return StoreOf(handle).bytes.size();
}

}  // namespace

MemoryTiff::MemoryTiff() {
    tif_ = TIFFClientOpenExt("memory", "w", &store_, ReadProc, WriteProc, SeekProc, CloseNothing,
                             SizeProc, MapNothing, UnmapNothing, log_.Options());
    if (tif_ == nullptr) {
        throw Error(errors::kOutOfMemory, log_.Reason("libtiff cannot start a page in memory"));
    }
}

MemoryTiff::~MemoryTiff() {
    // Nothing of it is wanted once its strips are taken: skip writing a directory.
    TIFFCleanup(tif_);
}

std::vector<uint8_t> MemoryTiff::Bytes(uint64_t offset, uint64_t size) const {
    if (offset > store_.bytes.size() || size > store_.bytes.size() - offset) {
        return {};
    }
    const auto begin = store_.bytes.begin() + static_cast<std::ptrdiff_t>(offset);
    return std::vector<uint8_t>(begin, begin + static_cast<std::ptrdiff_t>(size));
}

}  // namespace folio::engine
