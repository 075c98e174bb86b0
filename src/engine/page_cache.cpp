#include "engine/page_cache.h"

namespace folio::engine {

std::shared_ptr<const Raster> PageCache::Find(int page) {
    const auto found = entries_.find(page);
    if (found == entries_.end()) {
        return nullptr;
    }
    order_.splice(order_.begin(), order_, found->second);
    return found->second->raster;
}

void PageCache::Put(int page, std::shared_ptr<const Raster> raster) {
    if (!raster) {
        return;
    }
    if (const auto found = entries_.find(page); found != entries_.end()) {
        bytes_ -= found->second->raster->ByteSize();
        order_.erase(found->second);
        entries_.erase(found);
    }
    const size_t size = raster->ByteSize();
    // (A page over the budget is alone, so this also lets go of it.)
    EvictTo(size <= budget_ ? budget_ - size : 0, 0);
    order_.push_front({page, std::move(raster)});
    entries_[page] = order_.begin();
    bytes_ += size;
}

void PageCache::SetBudget(size_t budgetBytes) {
    budget_ = budgetBytes;
    EvictTo(budget_, 1);  // the page used last is likely on screen
}

void PageCache::EvictTo(size_t bytes, size_t keep) {
    while (bytes_ > bytes && order_.size() > keep) {
        bytes_ -= order_.back().raster->ByteSize();
        entries_.erase(order_.back().page);
        order_.pop_back();
    }
}

void PageCache::Clear() {
    order_.clear();
    entries_.clear();
    bytes_ = 0;
}

}  // namespace folio::engine
