// What the viewer paints and how its pixels arrive: tiles asked of the render queue and
// delivered back, the previews shown meanwhile, reading ahead, and the caches' budgets.
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <exception>

#include "engine/widget/document_view.h"
#include "engine/widget/page_notice.h"
#include "engine/widget/rendered_qimage.h"

namespace folio::viewer {
namespace {

const QColor kBackground(0x6b, 0x6e, 0x73);
const QColor kShadow(0, 0, 0, 70);

}  // namespace

void DocumentView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), kBackground);
    if (!document_) {
        if (!emptyText_.isEmpty()) {
            // One line, cut with an ellipsis rather than wrapped when the window is narrow.
            const QRect box = viewport()->rect().adjusted(12, 0, -12, 0);
            painter.setPen(Qt::white);
            painter.drawText(
                box, Qt::AlignCenter,
                painter.fontMetrics().elidedText(emptyText_, Qt::ElideMiddle, box.width()));
        }
        return;
    }
    const QRect visible = VisibleArea();
    const auto [first, last] = layout_.PagesIn(visible);
    wanted_.clear();
    for (int page = first; page < last; ++page) {
        PaintPage(painter, page, visible);
    }
    indicator_.Paint(painter, viewport()->rect(), currentPage_ + 1, layout_.PageCount());
    AfterPaint(first, last);
}

void DocumentView::PaintPage(QPainter& painter, int page, const QRect& visible) {
    const QPoint origin = layout_.Page(page).topLeft() - visible.topLeft();
    const QRect onScreen(origin, layout_.Page(page).size());
    painter.fillRect(onScreen.translated(3, 3), kShadow);
    painter.fillRect(onScreen, Qt::white);
    if (const auto error = pageErrors_.find(page); error != pageErrors_.end()) {
        // Written on the part of the page in view: on a page larger than the screen the
        // middle may be far away.
        DrawNotice(painter, onScreen.intersected(viewport()->rect()),
                   NoticeText(page, error->second));
        return;
    }
    const double scale = DeviceScale();
    const QSize device = deviceSizes_.at(static_cast<size_t>(page));
    // The visible part of the page in its own device pixels.
    const QRect local =
        visible.intersected(layout_.Page(page)).translated(-layout_.Page(page).topLeft());
    const int left = static_cast<int>(std::floor(local.left() * scale)) / kTileSize;
    const int top = static_cast<int>(std::floor(local.top() * scale)) / kTileSize;
    const int right =
        std::min(device.width() - 1, static_cast<int>(std::ceil((local.right() + 1) * scale)) - 1) /
        kTileSize;
    const int bottom = std::min(device.height() - 1,
                                static_cast<int>(std::ceil((local.bottom() + 1) * scale)) - 1) /
                       kTileSize;
    const QImage* preview = Preview(page);
    for (int row = top; row <= bottom; ++row) {
        for (int column = left; column <= right; ++column) {
            const QImage tile = Tile(page, device, column, row);
            const QPointF at(origin.x() + column * kTileSize / scale,
                             origin.y() + row * kTileSize / scale);
            if (!tile.isNull()) {
                painter.drawImage(at, tile);
            } else if (preview) {
                // Until the tile is ready, the same part of the page from the preview.
                const QSizeF size(std::min(kTileSize, device.width() - column * kTileSize),
                                  std::min(kTileSize, device.height() - row * kTileSize));
                const double fx = preview->width() / static_cast<double>(device.width());
                const double fy = preview->height() / static_cast<double>(device.height());
                const QRectF source(column * kTileSize * fx, row * kTileSize * fy,
                                    size.width() * fx, size.height() * fy);
                painter.save();
                painter.setRenderHint(QPainter::SmoothPixmapTransform);
                painter.drawImage(QRectF(at, size / scale), *preview, source);
                painter.restore();
            }
        }
    }
    if (!PageDamage(page).isEmpty()) {
        DrawDamageBadge(painter, onScreen.intersected(viewport()->rect()));
    }
}

QImage DocumentView::Tile(int page, const QSize& pageSize, int column, int row) {
    const double scale = DeviceScale();
    const TileKey key{
        page, generations_.at(static_cast<size_t>(page)), zoomX_, zoomY_, scale, column, row};
    wanted_.insert(key);
    if (const QImage* cached = tiles_.object(key)) {
        return *cached;
    }
    QImage tile;
    if (requested_.count(key) != 0) {
        return tile;
    }
    engine::PixelRect region;
    region.x = column * kTileSize;
    region.y = row * kTileSize;
    region.width = std::min(kTileSize, pageSize.width() - region.x);
    region.height = std::min(kTileSize, pageSize.height() - region.y);
    const quint64 id = nextRequest_++;
    requested_.emplace(key, id);
    const double width = pageSize.width();
    const double height = pageSize.height();
    requests_.emplace(id, Request{key, QRectF(region.x / width, region.y / height,
                                              region.width / width, region.height / height)});
    const double dpiX = logicalDpiX() * scale;
    const double dpiY = logicalDpiY() * scale;
    // The task holds the document, so closing or replacing it meanwhile is safe; its
    // result then finds no request and is let go.
    queue_->Submit(id, [this, document = document_, page, zoomX = zoomX_, zoomY = zoomY_, dpiX,
                        dpiY, region, scale, id] {
        const RenderedQImage done =
            RenderQImage(*document, page, zoomX, zoomY, dpiX, dpiY, region, scale);
        emit TileRendered(id, done.image, done.error);
    });
    return tile;
}

void DocumentView::OnTileRendered(quint64 request, const QImage& tile, const QString& error) {
    const auto found = requests_.find(request);
    if (found == requests_.end()) {
        return;  // dropped, or for a document no longer shown
    }
    const Request done = found->second;
    requests_.erase(found);
    requested_.erase(done.key);
    if (!error.isEmpty()) {
        pageErrors_[done.key.page] = error;
    } else {
        tiles_.insert(done.key, new QImage(tile), tile.sizeInBytes());
        AddToPreview(done.key, done.part, tile);
    }
    viewport()->update();
}

void DocumentView::DropRequests(const std::function<bool(const TileKey&)>& unwanted) {
    const std::vector<uint64_t> dropped = queue_->Retain([&](uint64_t id) {
        const auto found = requests_.find(id);
        return found == requests_.end() || !unwanted(found->second.key);
    });
    for (const uint64_t id : dropped) {
        if (const auto found = requests_.find(id); found != requests_.end()) {
            requested_.erase(found->second.key);
            requests_.erase(found);
        }
    }
}

void DocumentView::ForgetRequests() {
    queue_->DropAll();
    requested_.clear();
    requests_.clear();
    readAhead_ = -1;
}

void DocumentView::AfterPaint(int first, int last) {
    // Scrolled away, zoomed or turned since they were asked for.
    DropRequests([this](const TileKey& key) { return wanted_.count(key) == 0; });
    // The caches follow what is shown: the pages on screen and the one read ahead, and
    // a few screens of tiles.
    size_t largest = 0;
    for (int page = first; page < last; ++page) {
        try {
            largest = std::max(largest, static_cast<size_t>(document_->Info(page).DecodedBytes()));
        } catch (const std::exception&) {
            // A page that cannot be read takes nothing.
        }
    }
    document_->SetCacheBudget(std::max<size_t>(1, largest * static_cast<size_t>(last - first + 1)));
    const double scale = DeviceScale();
    const auto screen =
        static_cast<size_t>(viewport()->width() * viewport()->height() * 4 * scale * scale);
    tiles_.setMaxCost(static_cast<qsizetype>(std::max(kTileCacheFloor, screen * kTileScreens)));
    // Read the next page ahead, in the direction of scrolling, once all shown is ready.
    const int next = lastScroll_ < 0 ? first - 1 : last;
    if (!requested_.empty() || next < 0 || next >= layout_.PageCount() || next == readAhead_ ||
        pageErrors_.count(next) != 0) {
        return;
    }
    readAhead_ = next;
    queue_->Submit(
        0,
        [document = document_, next] {
            try {
                document->Decode(next);
            } catch (const std::exception&) {
                // Shown later, the page reports what is wrong with it.
            }
        },
        true);
}

void DocumentView::AddToPreview(const TileKey& key, const QRectF& part, const QImage& tile) {
    auto found = std::find_if(previews_.begin(), previews_.end(),
                              [&](const PagePreview& p) { return p.page == key.page; });
    if (found != previews_.end() && found->generation != key.generation) {
        previews_.erase(found);  // the page was turned
        found = previews_.end();
    }
    if (found == previews_.end()) {
        const QSize device = deviceSizes_.at(static_cast<size_t>(key.page));
        QImage image(
            device.scaled(kPreviewSize, kPreviewSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)),
            QImage::Format_RGB32);
        image.fill(Qt::white);
        previews_.push_front({key.page, key.generation, std::move(image)});
        if (previews_.size() > kPreviewPages) {
            previews_.pop_back();
        }
    } else {
        previews_.splice(previews_.begin(), previews_, found);
    }
    QImage& image = previews_.front().image;
    QImage pixels = tile;
    pixels.setDevicePixelRatio(1.0);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(part.x() * image.width(), part.y() * image.height(),
                             part.width() * image.width(), part.height() * image.height()),
                      pixels);
}

const QImage* DocumentView::Preview(int page) const {
    const uint64_t generation = generations_.at(static_cast<size_t>(page));
    for (const PagePreview& preview : previews_) {
        if (preview.page == page && preview.generation == generation) {
            return &preview.image;
        }
    }
    return nullptr;
}

}  // namespace folio::viewer
