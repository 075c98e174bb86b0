#pragma once

#include <QAbstractScrollArea>
#include <QCache>
#include <QImage>
#include <QString>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/document/engine_document.h"
#include "engine/render/page_cache.h"
#include "engine/widget/page_layout.h"

namespace folio::viewer {

// Every page small, one below another, along the viewer's left edge. Only the
// thumbnails in view (and a screen ahead either way) are asked for, on the viewer's
// render queue when it has nothing more urgent; each is rendered small by the engine
// from the page, so no whole page is kept here, and finished ones stay in a byte-costed
// cache. The current page is framed and kept in view; a click names a page. The strip
// never takes the keyboard focus: the viewer keeps its keys.
class ThumbnailStrip : public QAbstractScrollArea {
    Q_OBJECT

  public:
    // The box a thumbnail fits in, logical pixels.
    static constexpr int kBoxWidth = 96;
    static constexpr int kBoxHeight = 128;
    static constexpr size_t kCacheBytes = size_t{24} << 20;

    ThumbnailStrip(engine::RenderQueue& queue, QWidget* parent);

    // Null shows nothing. Drops every thumbnail and request.
    void SetDocument(std::shared_ptr<engine::EngineDocument> document);
    // The page framed as current (from 0); brought into view.
    void SetCurrent(int page);
    int Current() const { return current_; }
    // The page's turn changed: its thumbnail is made again.
    void PageTurned(int page);
    // The width the strip needs beside the viewer's pages.
    int StripWidth() const;

    // Where a page's thumbnail sits in the scrolled area (as last laid out); empty for no
    // such page.
    QRect ThumbnailRect(int page) const;
    bool HasThumbnail(int page) const { return thumbnails_.contains(page); }
    // Why the page's thumbnail cannot be shown; empty when it can or is not made yet.
    QString Notice(int page) const;
    // Thumbnails asked for and not delivered yet.
    size_t Pending() const { return requests_.size(); }
    // Drops the queued requests of this strip; returns how many.
    size_t DropAll();

  signals:
    // The user clicked the thumbnail of `page` (from 0).
    void PageClicked(int page);
    // From a worker thread: a thumbnail asked for is ready (or `error` says why not).
    void ThumbnailRendered(quint64 request, QImage image, QString error);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    struct Thumbnail {
        uint64_t generation = 0;
        QImage image;   // null when the page cannot be shown
        QString error;  // why not
    };
    struct Request {
        int page;
        uint64_t generation;
    };

    void Relayout();
    void EnsureLayout();
    void Ask(int page);
    void OnRendered(quint64 request, const QImage& image, const QString& error);
    // Keeps only the requests for pages in [first, last).
    void DropOutside(int first, int last);
    void PaintThumbnail(QPainter& painter, int page, const QRect& box);
    // Whether the page is known to be shown in spite of damage (it gets the badge).
    bool Damaged(int page) const;
    const Thumbnail* Find(int page) const;

    engine::RenderQueue& queue_;
    std::shared_ptr<engine::EngineDocument> document_;
    std::vector<QSize> sizes_;  // logical, each fitted into the box
    std::vector<uint64_t> generations_;
    PageLayout layout_;
    QCache<int, Thumbnail> thumbnails_;
    std::unordered_map<quint64, Request> requests_;
    std::unordered_map<int, quint64> requested_;  // page -> request
    quint64 nextRequest_;
    int current_ = -1;
    bool layoutDirty_ = false;
};

}  // namespace folio::viewer
