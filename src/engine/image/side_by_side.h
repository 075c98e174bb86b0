#pragma once

// Work split into parts that run side by side, for pixels made in bands.

#include <algorithm>
#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace folio::engine {

// How many bands to make an image of `pixels` in: one for a small image (tiles
// come from several workers already), up to one per core (at most four) from a
// million pixels up.
inline int BandsFor(size_t pixels) {
    constexpr size_t kBandedPixels = size_t{1} << 20;
    constexpr unsigned kMostBands = 4;
    return pixels >= kBandedPixels
               ? static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, kMostBands))
               : 1;
}

// Runs work(0) to work(parts - 1) at once: part 0 on the calling thread, the others
// on threads of their own (or on the calling thread when no thread can be had).
// Returns when all are done; the first part (in order) that threw has its
// exception raised then.
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
        std::vector<std::jthread> helpers;
        for (int part = 1; part < parts; ++part) {
            try {
                helpers.emplace_back(run, part);
            } catch (const std::system_error&) {
                run(part);
            }
        }
        if (parts > 0) {
            run(0);
        }
    }  // joins the helpers
    for (const std::exception_ptr& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
}

}  // namespace folio::engine
