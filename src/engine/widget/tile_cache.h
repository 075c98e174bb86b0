#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <list>
#include <unordered_map>

namespace folio::viewer {

// Identifies one rendered tile: a page at a zoom and scale, in a turn, and the tile's
// column and row on that page.
struct TileKey {
    int page = 0;
    uint64_t generation = 0;  // bumped when the page's turn changes
    double zoomX = 0.0;
    double zoomY = 0.0;
    double scale = 0.0;  // device pixels per logical pixel
    int column = 0;
    int row = 0;

    bool operator==(const TileKey&) const = default;
};

struct TileKeyHash {
    size_t operator()(const TileKey& key) const noexcept;
};

// Rendered tiles, least recently used first out once the byte budget is spent.
class TileCache {
  public:
    explicit TileCache(size_t budgetBytes);

    // The tile, or a null image when it is not cached. Marks it as recently used.
    QImage Find(const TileKey& key);
    void Insert(const TileKey& key, const QImage& tile);
    bool Has(const TileKey& key) const { return entries_.count(key) != 0; }
    void Clear();
    // Lets go of the least recently used tiles beyond the new budget.
    void SetBudget(size_t budgetBytes);

    size_t Bytes() const { return bytes_; }
    size_t Count() const { return entries_.size(); }

  private:
    void EvictTo(size_t bytes);

    using Order = std::list<TileKey>;
    struct Entry {
        QImage image;
        Order::iterator position;
    };

    size_t budget_;
    size_t bytes_ = 0;
    Order order_;  // most recently used at the front
    std::unordered_map<TileKey, Entry, TileKeyHash> entries_;
};

}  // namespace folio::viewer
