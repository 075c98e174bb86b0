#pragma once

// Work split into parts that run side by side, for pixels made in bands.

#include <algorithm>
#include <cstddef>
#include <exception>
#include <vector>

#include "engine/work/executor.h"

namespace folio::engine {

// How many bands to make an image of `pixels` in: one for a small image (tiles
// come from several workers already), up to one per thread that can take one (at
// most four) from a million pixels up.
inline int BandsFor(size_t pixels) {
    constexpr size_t kBandedPixels = size_t{1} << 20;
    constexpr unsigned kMostBands = 4;
    return pixels >= kBandedPixels
               ? static_cast<int>(std::min(Executor::Shared().Workers() + 1, kMostBands))
               : 1;
}

// Runs work(0) to work(parts - 1) at once: part 0 on the calling thread, the others
// on the executor's workers (or on the calling thread, when none is free by the
// time it is done with its own). Returns when all are done; the first part (in
// order) that threw has its exception raised then.
template <class Work>
void RunSideBySide(int parts, const Work& work) {
    std::vector<std::exception_ptr> failures(parts > 0 ? static_cast<size_t>(parts) : 0);
    const auto run = [&](int part) {
        try {
            work(part);
        } catch (...) {
            failures[static_cast<size_t>(part)] = std::current_exception();
        }
    };
    {
        TaskGroup helpers;
        for (int part = 1; part < parts; ++part) {
            helpers.Run([&run, part] { run(part); });
        }
        if (parts > 0) {
            run(0);
        }
        helpers.Wait();
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
}

}  // namespace folio::engine
