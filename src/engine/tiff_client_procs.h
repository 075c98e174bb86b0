#pragma once

#include <tiffio.h>

#include <cstdint>

namespace folio::engine {

// Pieces shared by the libtiff clients the writer opens on storage of its own.

// The position libtiff asks for: `offset` from the start, from `position` or from
// the end (`size`); libtiff passes negative relative offsets as large unsigned
// values. (toff_t)-1 for an unknown `whence` or a position before the start.
toff_t SeekTarget(uint64_t position, uint64_t size, toff_t offset, int whence);

// The storage stays with its owner, and is never memory-mapped.
int CloseNothing(thandle_t);
int MapNothing(thandle_t, void**, toff_t*);
void UnmapNothing(thandle_t, void*, toff_t);

}  // namespace folio::engine
