#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <unordered_map>

#include "engine/raster.h"

namespace folio::engine {

// Decoded pages, least recently used first out, within a byte budget counted in
// the rasters' own bytes. A page larger than the whole budget is kept alone (the
// others are let go), so that showing it does not decode it again for every
// part of it drawn; the next page put in lets go of it. Not thread-safe by itself.
class PageCache {
  public:
    explicit PageCache(size_t budgetBytes) : budget_(budgetBytes) {}

    // The page if held (and marks it most recently used), or null.
    std::shared_ptr<const Raster> Find(int page);
    void Put(int page, std::shared_ptr<const Raster> raster);
    void Clear();
    // Lets go of the least recently used pages until the rest fits the new budget.
    void SetBudget(size_t budgetBytes);

    size_t Bytes() const { return bytes_; }
    size_t Budget() const { return budget_; }

  private:
    // Lets go of the least recently used pages until at most `bytes` are held or only
    // `keep` pages are left.
    void EvictTo(size_t bytes, size_t keep);

    struct Entry {
        int page;
        std::shared_ptr<const Raster> raster;
    };

    size_t budget_;
    size_t bytes_ = 0;
    std::list<Entry> order_;  // most recently used first
    std::unordered_map<int, std::list<Entry>::iterator> entries_;
};

}  // namespace folio::engine
