#include "engine/widget/document_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <exception>
#include <string>

#include "common/error.h"
#include "common/error_numbers.h"
#include "common/utf8.h"
#include "engine/widget/rendered_qimage.h"

namespace folio::viewer {
namespace {

constexpr int kTwipsPerInch = 1440;
const QColor kBackground(0x6b, 0x6e, 0x73);
const QColor kShadow(0, 0, 0, 70);

double CheckedFactor(double factor) {
    if (!std::isfinite(factor) || factor <= 0.0) {
        throw Error(errors::kInvalidProcedureCall, "The zoom factor " + std::to_string(factor) +
                                                       " is not a positive finite number");
    }
    return std::clamp(factor, DocumentView::kMinZoom, DocumentView::kMaxZoom);
}

int TwipsToPixels(float twips, int dpi, const char* what) {
    if (!std::isfinite(twips) || twips < 0.0f) {
        throw Error(errors::kInvalidProcedureCall,
                    std::string("The viewer's ") + what + " cannot be " + std::to_string(twips));
    }
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / kTwipsPerInch));
}

QString ErrorText(const std::exception& e) {
    return QString::fromUtf8(e.what());
}

}  // namespace

DocumentView::DocumentView(QWidget* parent)
    : QAbstractScrollArea(parent),
      tiles_(kTileCacheFloor),
      queue_(std::make_unique<engine::RenderQueue>()) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    connect(this, &DocumentView::TileRendered, this, &DocumentView::OnTileRendered,
            Qt::QueuedConnection);
}

DocumentView::~DocumentView() {
    // The workers deliver to this object: they stop before any of it goes.
    queue_.reset();
    if (document_) {
        document_->SetChangeListener(nullptr);
    }
}

void DocumentView::SetDocument(std::shared_ptr<imaging::Document> document) {
    if (!document) {
        LetGo();
        return;
    }
    auto engineDocument = std::dynamic_pointer_cast<engine::EngineDocument>(document);
    if (!engineDocument) {
        throw Error(errors::kTypeMismatch,
                    "The viewer can show only documents opened by the FolioLens engine");
    }
    const int pages = engineDocument->PageCount();
    LetGo();
    document_ = std::move(engineDocument);
    generations_.assign(static_cast<size_t>(pages), 0);
    currentPage_ = pages > 0 ? 0 : -1;
    document_->SetChangeListener([this](int page) { OnPageTurned(page); });
    Relayout();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    UpdateCurrentPage();
    viewport()->update();
}

std::shared_ptr<imaging::Document> DocumentView::GetDocument() {
    return document_;
}

void DocumentView::SetFileName(const std::u16string& fileName) {
    if (!fileName.empty()) {
        throw Error(errors::kNotImplemented,
                    "The viewer shows the document it is given; it does not open \"" +
                        ToUtf8(fileName) + "\" by name");
    }
    LetGo();
}

std::u16string DocumentView::GetFileName() {
    return document_ ? FromUtf8(document_->FilePath()) : std::u16string();
}

void DocumentView::LetGo() {
    if (document_) {
        document_->SetChangeListener(nullptr);
    }
    // A tile rendering now finishes on its own copy of the document and is ignored.
    ForgetRequests();
    document_.reset();
    generations_.clear();
    deviceSizes_.clear();
    pageErrors_.clear();
    tiles_.Clear();
    previews_.clear();
    currentPage_ = -1;
    layout_ = PageLayout();
    UpdateScrollBars();
    viewport()->update();
}

int32_t DocumentView::PageNum() {
    return currentPage_ + 1;
}

void DocumentView::SetPageNum(int32_t page) {
    if (page < 1 || page > layout_.PageCount()) {
        throw Error(errors::kInvalidProcedureCall,
                    "Page " + std::to_string(page) + " does not exist; the document has " +
                        std::to_string(layout_.PageCount()) + " pages");
    }
    verticalScrollBar()->setValue(layout_.Page(page - 1).top() - PageLayout::kMargin);
    currentPage_ = page - 1;
    viewport()->update();
}

int32_t DocumentView::NumPages() {
    return document_ ? document_->PageCount() : 0;
}

void DocumentView::SetFitMode(int32_t mode) {
    if (mode != 0 && mode != imaging::kFitWidth && mode != imaging::kFitHeight) {
        throw Error(errors::kInvalidProcedureCall,
                    "Fit mode " + std::to_string(mode) + " is not known (1 width, 2 height)");
    }
    fitMode_ = mode;
    ApplyFit();
}

int32_t DocumentView::GetFitMode() {
    return fitMode_;
}

void DocumentView::GetZoom(double& first, double& second) {
    first = zoomX_;
    second = zoomY_;
}

void DocumentView::SetZoom(double& first, double& second) {
    const double x = CheckedFactor(first);
    const double y = CheckedFactor(second);
    fitMode_ = 0;
    SetZoomKeepingView(x, y);
    first = zoomX_;
    second = zoomY_;
}

int32_t DocumentView::LivenessProbe() {
    return 1;
}

void DocumentView::SetWidth(float width) {
    resize(TwipsToPixels(width, logicalDpiX(), "width"), height());
}

void DocumentView::SetHeight(float height) {
    resize(width(), TwipsToPixels(height, logicalDpiY(), "height"));
}

QString DocumentView::PageIndicatorText() const {
    if (!document_ || layout_.PageCount() == 0 || currentPage_ < 0) {
        return {};
    }
    return QStringLiteral("%1 / %2").arg(currentPage_ + 1).arg(layout_.PageCount());
}

QRect DocumentView::PageRect(int page) const {
    return page >= 0 && page < layout_.PageCount() ? layout_.Page(page) : QRect();
}

QString DocumentView::PageNotice(int page) const {
    const auto found = pageErrors_.find(page);
    return found == pageErrors_.end() ? QString() : found->second;
}

double DocumentView::DeviceScale() const {
    return devicePixelRatioF();
}

QSize DocumentView::DevicePageSize(int page) const {
    const double scale = DeviceScale();
    const engine::DisplaySize shown =
        document_->ShownSize(page, zoomX_, zoomY_, logicalDpiX() * scale, logicalDpiY() * scale);
    return QSize(std::max(1, static_cast<int>(std::lround(shown.width))),
                 std::max(1, static_cast<int>(std::lround(shown.height))));
}

void DocumentView::Relayout() {
    std::vector<QSize> logical;
    deviceSizes_.clear();
    if (document_) {
        const int pages = static_cast<int>(generations_.size());
        const double scale = DeviceScale();
        deviceSizes_.reserve(static_cast<size_t>(pages));
        logical.reserve(static_cast<size_t>(pages));
        for (int page = 0; page < pages; ++page) {
            QSize device;
            try {
                device = DevicePageSize(page);
            } catch (const std::exception& e) {
                // A page whose size cannot be read still takes a place for its notice.
                pageErrors_[page] = ErrorText(e);
                device =
                    QSize(static_cast<int>(std::lround(8.27 * logicalDpiX() * zoomX_ * scale)),
                          static_cast<int>(std::lround(11.69 * logicalDpiY() * zoomY_ * scale)));
            }
            deviceSizes_.push_back(device);
            logical.emplace_back(static_cast<int>(std::ceil(device.width() / scale)),
                                 static_cast<int>(std::ceil(device.height() / scale)));
        }
    }
    layout_ = PageLayout(logical, viewport()->width());
    UpdateScrollBars();
}

void DocumentView::UpdateScrollBars() {
    const QSize content = layout_.ContentSize();
    const QSize view = viewport()->size();
    // A page step keeps a strip of the previous screen, so a line on the boundary is
    // seen whole once.
    const auto step = [](int extent) {
        return std::max(1, extent - std::min(kScrollStep, extent / 4));
    };
    horizontalScrollBar()->setRange(0, std::max(0, content.width() - view.width()));
    horizontalScrollBar()->setPageStep(step(view.width()));
    horizontalScrollBar()->setSingleStep(kScrollStep);
    verticalScrollBar()->setRange(0, std::max(0, content.height() - view.height()));
    verticalScrollBar()->setPageStep(step(view.height()));
    verticalScrollBar()->setSingleStep(kScrollStep);
}

QRect DocumentView::VisibleArea() const {
    return QRect(QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value()),
                 viewport()->size());
}

DocumentView::Anchor DocumentView::CaptureAnchor() const {
    Anchor anchor;
    const QRect area = VisibleArea();
    // The page the indicator names is the one the user is on, even when several show.
    anchor.page = currentPage_ >= 0 && currentPage_ < layout_.PageCount()
                      ? currentPage_
                      : layout_.MostVisiblePage(area);
    if (anchor.page < 0) {
        return anchor;
    }
    const QRect& page = layout_.Page(anchor.page);
    const QPoint centre = area.center();
    anchor.fx = (centre.x() - page.left()) / static_cast<double>(std::max(1, page.width()));
    anchor.fy = (centre.y() - page.top()) / static_cast<double>(std::max(1, page.height()));
    // The centre beside the page (small zooms show many): measured against that page
    // it would land on another one after the zoom, so the page's top is kept instead.
    anchor.centred = page.contains(centre);
    return anchor;
}

void DocumentView::RestoreAnchor(const Anchor& anchor) {
    if (anchor.page < 0 || anchor.page >= layout_.PageCount()) {
        return;
    }
    const QRect& page = layout_.Page(anchor.page);
    const QSize view = viewport()->size();
    const double fx = anchor.centred ? anchor.fx : 0.5;
    horizontalScrollBar()->setValue(
        static_cast<int>(std::lround(page.left() + fx * page.width() - view.width() / 2.0)));
    verticalScrollBar()->setValue(
        anchor.centred ? static_cast<int>(std::lround(page.top() + anchor.fy * page.height() -
                                                      view.height() / 2.0))
                       : page.top() - PageLayout::kMargin);
}

void DocumentView::SetZoomKeepingView(double zoomX, double zoomY) {
    const Anchor anchor = CaptureAnchor();
    zoomX_ = zoomX;
    zoomY_ = zoomY;
    if (!document_) {
        return;
    }
    Relayout();
    RestoreAnchor(anchor);
    UpdateCurrentPage(anchor.page);
    viewport()->update();
}

void DocumentView::ApplyFit() {
    if (fitMode_ == 0 || !document_ || currentPage_ < 0 || fitting_) {
        return;
    }
    fitting_ = true;
    const int page = currentPage_;
    double factor = zoomX_;
    double naturalWidth = 0.0;
    try {
        const engine::DisplaySize natural =
            document_->ShownSize(page, 1.0, 1.0, logicalDpiX(), logicalDpiY());
        const double margins = 2.0 * PageLayout::kMargin;
        if (fitMode_ == imaging::kFitWidth) {
            naturalWidth = std::max(1.0, natural.width);
            factor = (viewport()->width() - margins) / naturalWidth;
        } else {
            const int barExtent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
            const int fullHeight =
                viewport()->height() + (horizontalScrollBar()->isVisible() ? barExtent : 0);
            factor = (fullHeight - margins) / std::max(1.0, natural.height);
            if (natural.width * factor + margins > viewport()->width()) {
                // The page will need a horizontal scroll bar, which takes height away.
                factor = (fullHeight - barExtent - margins) / std::max(1.0, natural.height);
            }
        }
    } catch (const std::exception& e) {
        pageErrors_[page] = ErrorText(e);
    }
    factor = std::clamp(factor, kMinZoom, kMaxZoom);
    zoomX_ = factor;
    zoomY_ = factor;
    Relayout();
    // At a fractional device scale the page's device width, rounded and brought back to
    // logical pixels, can come out one pixel wider than the view: a device pixel less.
    if (naturalWidth > 0.0 && page < layout_.PageCount() &&
        layout_.Page(page).width() + 2 * PageLayout::kMargin > viewport()->width()) {
        zoomX_ = zoomY_ =
            std::clamp(factor - 1.0 / (naturalWidth * DeviceScale()), kMinZoom, kMaxZoom);
        Relayout();
    }
    if (page < layout_.PageCount()) {
        verticalScrollBar()->setValue(layout_.Page(page).top() - PageLayout::kMargin);
    }
    horizontalScrollBar()->setValue(
        fitMode_ == imaging::kFitWidth ? 0 : horizontalScrollBar()->value());
    currentPage_ = page;
    viewport()->update();
    fitting_ = false;
}

void DocumentView::UpdateCurrentPage(int preferred) {
    if (!document_) {
        currentPage_ = -1;
        return;
    }
    const QScrollBar* bar = verticalScrollBar();
    if (bar->maximum() > 0 && bar->value() >= bar->maximum()) {
        // Scrolled to the end the last page is current, even when the pages before it
        // show as much (several small pages fit on the screen).
        currentPage_ = layout_.PageCount() - 1;
        return;
    }
    const QRect area = VisibleArea();
    currentPage_ = layout_.MostVisiblePage(area);
    if (preferred >= 0 && preferred < layout_.PageCount() && currentPage_ >= 0 &&
        layout_.Page(preferred).intersected(area).height() >=
            layout_.Page(currentPage_).intersected(area).height()) {
        currentPage_ = preferred;
    }
}

void DocumentView::OnPageTurned(int page) {
    if (page >= 0 && page < static_cast<int>(generations_.size())) {
        ++generations_[static_cast<size_t>(page)];
        pageErrors_.erase(page);
    }
    const Anchor anchor = CaptureAnchor();
    Relayout();
    RestoreAnchor(anchor);
    UpdateCurrentPage(anchor.page);
    viewport()->update();
}

void DocumentView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    const Anchor anchor = CaptureAnchor();
    Relayout();
    if (fitMode_ != 0 && !fitting_) {
        ApplyFit();
    } else {
        RestoreAnchor(anchor);
    }
    UpdateCurrentPage(anchor.page);
}

void DocumentView::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::ControlModifier) {
        if (event->key() == Qt::Key_Home) {
            verticalScrollBar()->setValue(verticalScrollBar()->minimum());
            return;
        }
        if (event->key() == Qt::Key_End) {
            verticalScrollBar()->setValue(verticalScrollBar()->maximum());
            return;
        }
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void DocumentView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !document_) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    dragFrom_ = event->position().toPoint();
    viewport()->setCursor(Qt::ClosedHandCursor);
}

void DocumentView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragFrom_) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    const QPoint moved = at - *dragFrom_;
    dragFrom_ = at;
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() - moved.x());
    verticalScrollBar()->setValue(verticalScrollBar()->value() - moved.y());
}

void DocumentView::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragFrom_ || event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    dragFrom_.reset();
    viewport()->unsetCursor();
}

void DocumentView::scrollContentsBy(int, int dy) {
    if (dy != 0) {
        lastScroll_ = dy < 0 ? 1 : -1;  // the pages move up as the view goes down
    }
    UpdateCurrentPage();
    viewport()->update();
}

void DocumentView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), kBackground);
    if (!document_) {
        return;
    }
    const QRect visible = VisibleArea();
    const auto [first, last] = layout_.PagesIn(visible);
    wanted_.clear();
    for (int page = first; page < last; ++page) {
        PaintPage(painter, page, visible);
    }
    PaintIndicator(painter);
    AfterPaint(first, last);
}

void DocumentView::PaintPage(QPainter& painter, int page, const QRect& visible) {
    const QPoint origin = layout_.Page(page).topLeft() - visible.topLeft();
    const QRect onScreen(origin, layout_.Page(page).size());
    painter.fillRect(onScreen.translated(3, 3), kShadow);
    painter.fillRect(onScreen, Qt::white);
    if (const auto error = pageErrors_.find(page); error != pageErrors_.end()) {
        PaintNotice(painter, page, onScreen, error->second);
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
}

QImage DocumentView::Tile(int page, const QSize& pageSize, int column, int row) {
    const double scale = DeviceScale();
    const TileKey key{
        page, generations_.at(static_cast<size_t>(page)), zoomX_, zoomY_, scale, column, row};
    wanted_.insert(key);
    QImage tile = tiles_.Find(key);
    if (!tile.isNull() || requested_.count(key) != 0) {
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
        QImage image;
        QString error;
        try {
            image = ToQImage(document->Render(page, zoomX, zoomY, dpiX, dpiY, region));
            image.setDevicePixelRatio(scale);
        } catch (const std::exception& e) {
            error = ErrorText(e);
        }
        emit TileRendered(id, image, error);
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
        tiles_.Insert(done.key, tile);
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

namespace {

// What a page needs once decoded (the engine keeps bilevel pages at one bit a pixel).
size_t DecodedBytes(const engine::PageInfo& info) {
    const size_t rowBits = size_t{info.width} * info.samplesPerPixel * info.bitsPerSample;
    return (rowBits + 7) / 8 * info.height;
}

}  // namespace

void DocumentView::AfterPaint(int first, int last) {
    // Scrolled away, zoomed or turned since they were asked for.
    DropRequests([this](const TileKey& key) { return wanted_.count(key) == 0; });
    // The caches follow what is shown: the pages on screen and the one read ahead, and
    // a few screens of tiles.
    size_t largest = 0;
    for (int page = first; page < last; ++page) {
        try {
            largest = std::max(largest, DecodedBytes(document_->Info(page)));
        } catch (const std::exception&) {
            // A page that cannot be read takes nothing.
        }
    }
    document_->SetCacheBudget(std::max<size_t>(1, largest * static_cast<size_t>(last - first + 1)));
    const double scale = DeviceScale();
    const auto screen =
        static_cast<size_t>(viewport()->width() * viewport()->height() * 4 * scale * scale);
    tiles_.SetBudget(std::max(kTileCacheFloor, screen * kTileScreens));
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

QFont DocumentView::NoticeFont(QFont font, const QSize& box, const QString& message) {
    // Smaller type until the whole message fits, so a small page still reads whole.
    constexpr double kSmallest = 4.0;
    while (font.pointSizeF() > kSmallest) {
        const QRect needed =
            QFontMetrics(font).boundingRect(QRect(QPoint(0, 0), box), kNoticeFlags, message);
        if (needed.width() <= box.width() && needed.height() <= box.height()) {
            break;
        }
        font.setPointSizeF(std::max(kSmallest, font.pointSizeF() * 0.85));
    }
    return font;
}

void DocumentView::PaintNotice(QPainter& painter, int page, const QRect& pageRect,
                               const QString& text) {
    // Framed and written on the part of the page in view: on a page larger than the
    // screen the middle may be far away.
    const QRect shown = pageRect.intersected(viewport()->rect());
    if (shown.isEmpty()) {
        return;
    }
    painter.save();
    painter.setPen(QPen(QColor(0xb0, 0x30, 0x30), 2));
    painter.drawRect(shown.adjusted(1, 1, -2, -2));
    painter.setPen(QColor(0x40, 0x40, 0x40));
    const QString message =
        tr("Page %1 cannot be shown.").arg(page + 1) + QStringLiteral("\n\n") + text;
    const int margin = std::min(16, std::min(shown.width(), shown.height()) / 10);
    const QRect box = shown.adjusted(margin, margin, -margin, -margin);
    painter.setFont(NoticeFont(painter.font(), box.size(), message));
    painter.drawText(box, kNoticeFlags, message);
    painter.restore();
}

void DocumentView::PaintIndicator(QPainter& painter) {
    const QString text = PageIndicatorText();
    if (text.isEmpty()) {
        return;
    }
    painter.save();
    QFont font = painter.font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const QSize size(metrics.horizontalAdvance(text) + 16, metrics.height() + 8);
    const QRect box(viewport()->width() - size.width() - 12,
                    viewport()->height() - size.height() - 12, size.width(), size.height());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x20, 0x20, 0x20, 160));
    painter.drawRoundedRect(box, 6, 6);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, text);
    painter.restore();
}

}  // namespace folio::viewer
