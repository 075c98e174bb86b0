#pragma once

#include <cstdint>
#include <vector>

namespace folio::engine {

// Where one compressed strip or tile lies in a file.
struct ChunkSpan {
    uint64_t offset = 0;
    uint64_t size = 0;
};

// Consecutive chunks [first, first + count) read together as the bytes
// [offset, offset + size) of the file.
struct ChunkRun {
    uint64_t offset = 0;
    uint64_t size = 0;
    uint32_t first = 0;
    uint32_t count = 0;
};

// Groups chunks, in their order, into runs that can each be read at once: every
// chunk starts at or after the end of the one before it, with at most `maxGap`
// unused bytes between them, and a run spans at most `maxRun` bytes (a larger chunk
// makes a run of its own).
std::vector<ChunkRun> GroupChunks(const std::vector<ChunkSpan>& chunks, uint64_t maxGap,
                                  uint64_t maxRun);

}  // namespace folio::engine
