#include "engine/tiff_client_procs.h"

#include <cstdio>

namespace folio::engine {

toff_t SeekTarget(uint64_t position, uint64_t size, toff_t offset, int whence) {
    uint64_t base = 0;
    if (whence == SEEK_CUR) {
        base = position;
    } else if (whence == SEEK_END) {
        base = size;
    } else if (whence != SEEK_SET) {
        return static_cast<toff_t>(-1);
    }
    if (whence != SEEK_SET && static_cast<int64_t>(offset) < 0 &&
        static_cast<uint64_t>(-static_cast<int64_t>(offset)) > base) {
        return static_cast<toff_t>(-1);
    }
    return base + offset;
}

int CloseNothing(thandle_t) {
    return 0;
}

int MapNothing(thandle_t, void**, toff_t*) {
    return 0;
}

void UnmapNothing(thandle_t, void*, toff_t) {}

}  // namespace folio::engine
