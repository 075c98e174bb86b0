#include "engine/widget/tile_cache.h"

#include <bit>
#include <functional>

namespace folio::viewer {

size_t TileKeyHash::operator()(const TileKey& key) const noexcept {
    size_t hash = std::hash<int>()(key.page);
    const auto mix = [&hash](uint64_t value) {
        hash ^= std::hash<uint64_t>()(value) + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2);
    };
    mix(key.generation);
    mix(std::bit_cast<uint64_t>(key.zoomX));
    mix(std::bit_cast<uint64_t>(key.zoomY));
    mix(std::bit_cast<uint64_t>(key.scale));
    mix(static_cast<uint64_t>(key.column));
    mix(static_cast<uint64_t>(key.row));
    return hash;
}

TileCache::TileCache(size_t budgetBytes) : budget_(budgetBytes) {}

QImage TileCache::Find(const TileKey& key) {
    const auto found = entries_.find(key);
    if (found == entries_.end()) {
        return {};
    }
    order_.splice(order_.begin(), order_, found->second.position);
    return found->second.image;
}

void TileCache::Insert(const TileKey& key, const QImage& tile) {
    const auto found = entries_.find(key);
    if (found != entries_.end()) {
        bytes_ -= static_cast<size_t>(found->second.image.sizeInBytes());
        order_.erase(found->second.position);
        entries_.erase(found);
    }
    order_.push_front(key);
    entries_.emplace(key, Entry{tile, order_.begin()});
    bytes_ += static_cast<size_t>(tile.sizeInBytes());
    EvictTo(budget_);
}

void TileCache::SetBudget(size_t budgetBytes) {
    budget_ = budgetBytes;
    EvictTo(budget_);
}

void TileCache::EvictTo(size_t bytes) {
    // The newest tile stays even when it alone exceeds the budget: it is on screen.
    while (bytes_ > bytes && order_.size() > 1) {
        const auto oldest = entries_.find(order_.back());
        bytes_ -= static_cast<size_t>(oldest->second.image.sizeInBytes());
        entries_.erase(oldest);
        order_.pop_back();
    }
}

void TileCache::Clear() {
    entries_.clear();
    order_.clear();
    bytes_ = 0;
}

}  // namespace folio::viewer
