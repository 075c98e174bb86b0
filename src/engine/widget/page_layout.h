#pragma once

#include <QRect>
#include <QSize>
#include <vector>

namespace folio::viewer {

// Where each page sits in the scrolled area: one below another, centred, with a gap.
// Sizes and positions are in logical (device-independent) pixels.
class PageLayout {
  public:
    static constexpr int kMargin = 12;
    static constexpr int kGap = 12;

    PageLayout() = default;
    // `pageSizes` in page order; `viewportWidth` widens the area for centring; `gap`
    // between pages.
    PageLayout(const std::vector<QSize>& pageSizes, int viewportWidth, int gap = kGap);

    int PageCount() const { return static_cast<int>(pages_.size()); }
    const QRect& Page(int index) const { return pages_.at(static_cast<size_t>(index)); }
    QSize ContentSize() const { return content_; }

    // Pages that intersect `area`, as a half-open index range.
    std::pair<int, int> PagesIn(const QRect& area) const;
    // The page that shows the most of `area` (the first on a tie), or -1 when none.
    int MostVisiblePage(const QRect& area) const;

  private:
    std::vector<QRect> pages_;
    QSize content_;
};

}  // namespace folio::viewer
