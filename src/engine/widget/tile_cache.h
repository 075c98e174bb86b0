#pragma once

#include <QCache>
#include <QHashFunctions>
#include <QImage>
#include <bit>
#include <cstddef>
#include <cstdint>

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

inline size_t qHash(const TileKey& key, size_t seed = 0) noexcept {
    // The factors hash by their bits: a key is only ever found again with the very
    // same doubles it was made with.
    return qHashMulti(seed, key.page, key.generation, std::bit_cast<uint64_t>(key.zoomX),
                      std::bit_cast<uint64_t>(key.zoomY), std::bit_cast<uint64_t>(key.scale),
                      key.column, key.row);
}

struct TileKeyHash {
    size_t operator()(const TileKey& key) const noexcept { return qHash(key); }
};

// Rendered tiles, costed in bytes, least recently used first out.
using TileCache = QCache<TileKey, QImage>;

}  // namespace folio::viewer
