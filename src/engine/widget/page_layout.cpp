#include "engine/widget/page_layout.h"

#include <algorithm>

namespace folio::viewer {

PageLayout::PageLayout(const std::vector<QSize>& pageSizes, int viewportWidth, int gap) {
    int widest = 0;
    for (const QSize& size : pageSizes) {
        widest = std::max(widest, size.width());
    }
    const int width = std::max(viewportWidth, widest + 2 * kMargin);
    int y = kMargin;
    pages_.reserve(pageSizes.size());
    for (const QSize& size : pageSizes) {
        pages_.emplace_back((width - size.width()) / 2, y, size.width(), size.height());
        y += size.height() + gap;
    }
    const int height = pages_.empty() ? 0 : y - gap + kMargin;
    content_ = QSize(width, height);
}

std::pair<int, int> PageLayout::PagesIn(const QRect& area) const {
    // Pages are stacked in order, so both ends are found by binary search.
    const auto first = std::partition_point(pages_.begin(), pages_.end(), [&](const QRect& page) {
        return page.bottom() < area.top();
    });
    const auto last = std::partition_point(
        first, pages_.end(), [&](const QRect& page) { return page.top() <= area.bottom(); });
    return {static_cast<int>(first - pages_.begin()), static_cast<int>(last - pages_.begin())};
}

int PageLayout::MostVisiblePage(const QRect& area) const {
    const auto [first, last] = PagesIn(area);
    int best = -1;
    int bestHeight = 0;
    for (int i = first; i < last; ++i) {
        const int shown = pages_[static_cast<size_t>(i)].intersected(area).height();
        if (shown > bestHeight) {
            best = i;
            bestHeight = shown;
        }
    }
    if (best < 0 && !pages_.empty()) {
        // In a gap or a margin: the nearest page above, or the first.
        best = std::max(0, first - 1);
    }
    return best;
}

}  // namespace folio::viewer
