#include "engine/chunk_runs.h"

namespace folio::engine {

std::vector<ChunkRun> GroupChunks(const std::vector<ChunkSpan>& chunks, uint64_t maxGap,
                                  uint64_t maxRun) {
    std::vector<ChunkRun> runs;
    for (uint32_t i = 0; i < chunks.size(); ++i) {
        const ChunkSpan& chunk = chunks[i];
        if (!runs.empty()) {
            ChunkRun& run = runs.back();
            const uint64_t end = run.offset + run.size;
            if (chunk.offset >= end && chunk.offset - end <= maxGap &&
                chunk.offset + chunk.size - run.offset <= maxRun) {
                run.size = chunk.offset + chunk.size - run.offset;
                ++run.count;
                continue;
            }
        }
        runs.push_back(ChunkRun{chunk.offset, chunk.size, i, 1});
    }
    return runs;
}

}  // namespace folio::engine
