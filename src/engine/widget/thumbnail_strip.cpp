#include "engine/widget/thumbnail_strip.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <exception>

#include "engine/widget/page_notice.h"
#include "engine/widget/rendered_qimage.h"

namespace folio::viewer {
namespace {

// Apart from the viewer's tile requests, which count up from 1, on the same queue.
constexpr quint64 kFirstRequest = quint64{1} << 63;
const QColor kBackground(0x4a, 0x4d, 0x52);
const QColor kShadow(0, 0, 0, 70);
const QColor kLabel(0xe8, 0xe8, 0xe8);
constexpr int kLabelGap = 4;  // between a thumbnail and its number

}  // namespace

ThumbnailStrip::ThumbnailStrip(engine::RenderQueue& queue, QWidget* parent)
    : QAbstractScrollArea(parent),
      queue_(queue),
      thumbnails_(static_cast<qsizetype>(kCacheBytes)),
      nextRequest_(kFirstRequest) {
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    connect(this, &ThumbnailStrip::ThumbnailRendered, this, &ThumbnailStrip::OnRendered,
            Qt::QueuedConnection);
}

int ThumbnailStrip::StripWidth() const {
    return kBoxWidth + 2 * PageLayout::kMargin +
           style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

void ThumbnailStrip::SetDocument(std::shared_ptr<engine::EngineDocument> document) {
    DropAll();
    thumbnails_.clear();
    document_ = std::move(document);
    generations_.assign(document_ ? static_cast<size_t>(document_->PageCount()) : 0, 0);
    current_ = generations_.empty() ? -1 : 0;
    Relayout();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

void ThumbnailStrip::SetCurrent(int page) {
    current_ = page;
    EnsureLayout();
    if (page >= 0 && page < layout_.PageCount()) {
        // Brought into view with its number: moved as little as needed when it was
        // partly in view already (scrolling), centred when it comes from afar (a jump).
        const int label = fontMetrics().height() + kLabelGap;
        const QRect shown = layout_.Page(page).adjusted(0, -kLabelGap, 0, label + kLabelGap);
        QScrollBar* bar = verticalScrollBar();
        const int top = bar->value();
        const int bottom = top + viewport()->height();
        if (shown.bottom() < top || shown.top() >= bottom) {
            bar->setValue(shown.center().y() - viewport()->height() / 2);
        } else if (shown.top() < top) {
            bar->setValue(shown.top());
        } else if (shown.bottom() >= bottom) {
            bar->setValue(shown.bottom() + 1 - viewport()->height());
        }
    }
    viewport()->update();
}

void ThumbnailStrip::PageTurned(int page) {
    if (page < 0 || page >= static_cast<int>(generations_.size())) {
        return;
    }
    ++generations_[static_cast<size_t>(page)];
    thumbnails_.remove(page);
    if (const auto found = requested_.find(page); found != requested_.end()) {
        const quint64 id = found->second;
        queue_.Retain([id](uint64_t queued) { return queued != id; });
        requests_.erase(id);
        requested_.erase(found);
    }
    // Laid out again when next needed: turning every page turns them one by one.
    layoutDirty_ = true;
    viewport()->update();
}

QRect ThumbnailStrip::ThumbnailRect(int page) const {
    return page >= 0 && page < layout_.PageCount() ? layout_.Page(page) : QRect();
}

QString ThumbnailStrip::Notice(int page) const {
    const Thumbnail* thumbnail = Find(page);
    return thumbnail ? thumbnail->error : QString();
}

size_t ThumbnailStrip::DropAll() {
    const std::vector<uint64_t> dropped =
        queue_.Retain([this](uint64_t id) { return requests_.count(id) == 0; });
    requests_.clear();
    requested_.clear();
    return dropped.size();
}

void ThumbnailStrip::EnsureLayout() {
    if (layoutDirty_) {
        Relayout();
    }
}

void ThumbnailStrip::Relayout() {
    layoutDirty_ = false;
    sizes_.clear();
    const int pages = static_cast<int>(generations_.size());
    sizes_.reserve(static_cast<size_t>(pages));
    for (int page = 0; page < pages; ++page) {
        QSizeF natural(kBoxWidth * 0.707, kBoxHeight);  // A4's shape when unreadable
        try {
            const engine::DisplaySize shown =
                document_->ShownSize(page, 1.0, 1.0, logicalDpiX(), logicalDpiY());
            natural = QSizeF(std::max(1.0, shown.width), std::max(1.0, shown.height));
        } catch (const std::exception&) {
            // The thumbnail's request reports what is wrong with the page.
        }
        const QSizeF fitted = natural.scaled(kBoxWidth, kBoxHeight, Qt::KeepAspectRatio);
        sizes_.emplace_back(std::max(1, static_cast<int>(std::lround(fitted.width()))),
                            std::max(1, static_cast<int>(std::lround(fitted.height()))));
    }
    const int label = fontMetrics().height() + kLabelGap;
    layout_ = PageLayout(sizes_, viewport()->width(), label + PageLayout::kGap);
    const int content = layout_.PageCount() == 0 ? 0 : layout_.ContentSize().height() + label;
    verticalScrollBar()->setRange(0, std::max(0, content - viewport()->height()));
    verticalScrollBar()->setPageStep(std::max(1, viewport()->height()));
    verticalScrollBar()->setSingleStep(kBoxHeight / 2);
}

void ThumbnailStrip::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    Relayout();
    SetCurrent(current_);
}

void ThumbnailStrip::scrollContentsBy(int, int) {
    viewport()->update();
}

void ThumbnailStrip::mousePressEvent(QMouseEvent* event) {
    EnsureLayout();
    if (event->button() != Qt::LeftButton || layout_.PageCount() == 0) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint() + QPoint(0, verticalScrollBar()->value());
    // A click on a thumbnail or on its number below it.
    const int page = layout_.MostVisiblePage(QRect(at, QSize(1, 1)));
    const QRect& rect = layout_.Page(page);
    if (at.y() >= rect.top() && at.y() <= rect.bottom() + fontMetrics().height() + kLabelGap) {
        emit PageClicked(page);
    }
}

void ThumbnailStrip::paintEvent(QPaintEvent*) {
    EnsureLayout();
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), kBackground);
    if (!document_ || layout_.PageCount() == 0) {
        return;
    }
    const int label = fontMetrics().height() + kLabelGap;
    const QRect visible(QPoint(0, verticalScrollBar()->value()), viewport()->size());
    // A page just above still shows its number.
    const auto [first, last] = layout_.PagesIn(visible.adjusted(0, -label, 0, 0));
    for (int page = first; page < last; ++page) {
        PaintThumbnail(painter, page, layout_.Page(page).translated(0, -visible.top()));
    }
    // Asked for: those in view and a screen ahead either way, the farthest first so that
    // the queue (newest first) starts with the first in view.
    const int height = viewport()->height();
    const auto [before, after] = layout_.PagesIn(visible.adjusted(0, -height, 0, height));
    DropOutside(before, after);
    for (int page = after - 1; page >= last; --page) {
        Ask(page);
    }
    for (int page = before; page < first; ++page) {
        Ask(page);
    }
    for (int page = last - 1; page >= first; --page) {
        Ask(page);
    }
}

void ThumbnailStrip::PaintThumbnail(QPainter& painter, int page, const QRect& box) {
    painter.fillRect(box.translated(2, 2), kShadow);
    painter.fillRect(box, Qt::white);
    if (const Thumbnail* thumbnail = Find(page)) {
        if (!thumbnail->error.isEmpty()) {
            DrawNotice(painter, box, NoticeText(page, thumbnail->error));
        } else {
            painter.drawImage(QRectF(box), thumbnail->image);
            if (Damaged(page)) {
                DrawDamageBadge(painter, box);
            }
        }
    }
    if (page == current_) {
        painter.save();
        painter.setPen(QPen(palette().color(QPalette::Highlight), 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(box.adjusted(-3, -3, 2, 2));
        painter.restore();
    }
    painter.setPen(kLabel);
    const QRect labelBox(0, box.bottom() + 1 + kLabelGap, viewport()->width(),
                         fontMetrics().height());
    painter.drawText(labelBox, Qt::AlignHCenter | Qt::AlignTop, QString::number(page + 1));
}

bool ThumbnailStrip::Damaged(int page) const {
    try {
        return !document_->Info(page).damage.empty();
    } catch (const std::exception&) {
        return false;
    }
}

const ThumbnailStrip::Thumbnail* ThumbnailStrip::Find(int page) const {
    const Thumbnail* thumbnail = thumbnails_.object(page);
    if (!thumbnail || page < 0 || page >= static_cast<int>(generations_.size()) ||
        thumbnail->generation != generations_[static_cast<size_t>(page)]) {
        return nullptr;
    }
    return thumbnail;
}

void ThumbnailStrip::Ask(int page) {
    if (Find(page) || requested_.count(page) != 0) {
        return;
    }
    const double scale = devicePixelRatioF();
    const double dpiX = logicalDpiX() * scale;
    const double dpiY = logicalDpiY() * scale;
    const QSize size = sizes_.at(static_cast<size_t>(page));
    double zoom = 1.0;
    engine::PixelRect region;
    try {
        const engine::DisplaySize natural = document_->ShownSize(page, 1.0, 1.0, dpiX, dpiY);
        zoom = size.width() * scale / std::max(1.0, natural.width);
        const engine::DisplaySize shown = document_->ShownSize(page, zoom, zoom, dpiX, dpiY);
        region.width = std::max(1, static_cast<int>(std::lround(shown.width)));
        region.height = std::max(1, static_cast<int>(std::lround(shown.height)));
    } catch (const std::exception& e) {
        const uint64_t generation = generations_[static_cast<size_t>(page)];
        thumbnails_.insert(page, new Thumbnail{generation, {}, ErrorText(e)}, 1);
        return;
    }
    const quint64 id = nextRequest_++;
    requests_.emplace(id, Request{page, generations_[static_cast<size_t>(page)]});
    requested_.emplace(page, id);
    // The task holds the document: closing or replacing it meanwhile is safe, and the
    // result then finds no request.
    queue_.Submit(
        id,
        [this, document = document_, page, zoom, dpiX, dpiY, region, scale, id] {
            const RenderedQImage done =
                RenderQImage(*document, page, zoom, zoom, dpiX, dpiY, region, scale);
            emit ThumbnailRendered(id, done.image, done.error);
        },
        true);
}

void ThumbnailStrip::OnRendered(quint64 request, const QImage& image, const QString& error) {
    const auto found = requests_.find(request);
    if (found == requests_.end()) {
        return;  // dropped, or for a document no longer shown
    }
    const Request done = found->second;
    requests_.erase(found);
    requested_.erase(done.page);
    if (done.generation != generations_.at(static_cast<size_t>(done.page))) {
        return;
    }
    const qsizetype cost = std::max<qsizetype>(1, image.sizeInBytes());
    thumbnails_.insert(done.page, new Thumbnail{done.generation, image, error}, cost);
    viewport()->update();
}

void ThumbnailStrip::DropOutside(int first, int last) {
    const auto outside = [&](quint64 id) {
        const auto found = requests_.find(id);
        return found != requests_.end() &&
               (found->second.page < first || found->second.page >= last);
    };
    const std::vector<uint64_t> dropped = queue_.Retain([&](uint64_t id) { return !outside(id); });
    for (const uint64_t id : dropped) {
        if (const auto found = requests_.find(id); found != requests_.end()) {
            requested_.erase(found->second.page);
            requests_.erase(found);
        }
    }
}

}  // namespace folio::viewer
