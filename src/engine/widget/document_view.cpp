#include "engine/widget/document_view.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <exception>
#include <string>

#include "common/error.h"
#include "common/error_numbers.h"
#include "common/utf8.h"
#include "engine/widget/page_notice.h"
#include "engine/widget/rendered_qimage.h"
#include "engine/widget/thumbnail_strip.h"

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
      queue_(std::make_unique<engine::RenderQueue>()),
      thumbnails_(new ThumbnailStrip(*queue_, this)) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    connect(this, &DocumentView::TileRendered, this, &DocumentView::OnTileRendered,
            Qt::QueuedConnection);
    thumbnails_->hide();
    connect(thumbnails_, &ThumbnailStrip::PageClicked, this,
            [this](int page) { SetPageNum(page + 1); });
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
    thumbnails_->SetDocument(document_);
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
    indicator_.Cancel();
    thumbnails_->SetDocument(nullptr);
    document_.reset();
    generations_.clear();
    deviceSizes_.clear();
    pageErrors_.clear();
    tiles_.clear();
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
    SetCurrentPage(page - 1);
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
    if (!document_ || currentPage_ < 0) {
        return {};
    }
    return indicator_.Text(currentPage_ + 1, layout_.PageCount());
}

QRect DocumentView::PageIndicatorRect() const {
    if (!document_ || currentPage_ < 0) {
        return {};
    }
    return indicator_.Rect(viewport()->font(), viewport()->rect(), currentPage_ + 1,
                           layout_.PageCount());
}

QString DocumentView::PageDetails() const {
    if (!document_ || currentPage_ < 0) {
        return {};
    }
    if (const auto error = pageErrors_.find(currentPage_); error != pageErrors_.end()) {
        return NoticeText(currentPage_, error->second);
    }
    try {
        return PageIndicator::Details(currentPage_ + 1, layout_.PageCount(),
                                      document_->Info(currentPage_),
                                      document_->QuarterTurns(currentPage_), zoomX_, zoomY_);
    } catch (const std::exception& e) {
        return NoticeText(currentPage_, ErrorText(e));
    }
}

bool DocumentView::ThumbnailsShown() const {
    return !thumbnails_->isHidden();
}

void DocumentView::ShowThumbnails(bool shown) {
    if (shown == ThumbnailsShown()) {
        return;
    }
    if (!shown) {
        thumbnails_->DropAll();
    }
    thumbnails_->setVisible(shown);
    // The pages' area narrows by the strip, so the fits and centring follow (the
    // viewport's resize lays them out again).
    setViewportMargins(shown ? thumbnails_->StripWidth() : 0, 0, 0, 0);
    PlaceThumbnails();
    thumbnails_->SetCurrent(currentPage_);
}

void DocumentView::PlaceThumbnails() {
    const QRect area = viewport()->geometry();
    const int width = thumbnails_->StripWidth();
    thumbnails_->setGeometry(area.left() - width, area.top(), width, area.height());
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
    SetCurrentPage(page);
    viewport()->update();
    fitting_ = false;
}

void DocumentView::UpdateCurrentPage(int preferred) {
    if (!document_) {
        SetCurrentPage(-1);
        return;
    }
    const QScrollBar* bar = verticalScrollBar();
    if (bar->maximum() > 0 && bar->value() >= bar->maximum()) {
        // Scrolled to the end the last page is current, even when the pages before it
        // show as much (several small pages fit on the screen).
        SetCurrentPage(layout_.PageCount() - 1);
        return;
    }
    const QRect area = VisibleArea();
    int current = layout_.MostVisiblePage(area);
    if (preferred >= 0 && preferred < layout_.PageCount() && current >= 0 &&
        layout_.Page(preferred).intersected(area).height() >=
            layout_.Page(current).intersected(area).height()) {
        current = preferred;
    }
    SetCurrentPage(current);
}

void DocumentView::SetCurrentPage(int page) {
    const bool changed = page != currentPage_;
    currentPage_ = page;
    if (changed && ThumbnailsShown()) {
        thumbnails_->SetCurrent(page);
    }
}

void DocumentView::OnPageTurned(int page) {
    if (page >= 0 && page < static_cast<int>(generations_.size())) {
        ++generations_[static_cast<size_t>(page)];
        pageErrors_.erase(page);
    }
    thumbnails_->PageTurned(page);
    const Anchor anchor = CaptureAnchor();
    Relayout();
    RestoreAnchor(anchor);
    UpdateCurrentPage(anchor.page);
    viewport()->update();
}

void DocumentView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    PlaceThumbnails();
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
    if (OwnKey(*event)) {
        return;
    }
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

bool DocumentView::OwnKey(const QKeyEvent& event) {
    const int pages = document_ ? layout_.PageCount() : 0;
    switch (indicator_.Key(event, pages)) {
        case PageIndicator::KeyResult::Go:
            SetPageNum(indicator_.Target());
            return true;
        case PageIndicator::KeyResult::Taken:
            viewport()->update();
            return true;
        case PageIndicator::KeyResult::Ignored:
            break;
    }
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    const int key = event.key();
    if (modifiers == Qt::NoModifier && key == Qt::Key_F9) {
        ShowThumbnails(!ThumbnailsShown());
        return true;
    }
    if (pages == 0) {
        return false;  // going to a page or zooming needs a document
    }
    const bool digit = key >= Qt::Key_0 && key <= Qt::Key_9;
    if ((modifiers == Qt::ControlModifier && key == Qt::Key_G) ||
        ((modifiers & ~Qt::ShiftModifier) == Qt::NoModifier && digit)) {
        indicator_.StartEditing();
        if (digit) {
            indicator_.Type(key - Qt::Key_0, pages);
        }
        viewport()->update();
        return true;
    }
    // Plus is shifted on many keyboards, and equal is plus unshifted.
    const bool zoomIn = (key == Qt::Key_Plus || key == Qt::Key_Equal) &&
                        (modifiers & ~Qt::ShiftModifier) == Qt::ControlModifier;
    const bool zoomOut = key == Qt::Key_Minus && modifiers == Qt::ControlModifier;
    if (zoomIn || zoomOut) {
        const double factor = zoomIn ? kZoomStep : 1.0 / kZoomStep;
        fitMode_ = 0;
        SetZoomKeepingView(std::clamp(zoomX_ * factor, kMinZoom, kMaxZoom),
                           std::clamp(zoomY_ * factor, kMinZoom, kMaxZoom));
        return true;
    }
    return false;
}

void DocumentView::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    event->accept();
    if (!document_) {
        return;
    }
    // Whole notches of 15 degrees; a fine-grained wheel adds up to them.
    constexpr int kNotch = 120;
    wheelDelta_ += event->angleDelta().y();
    const int notches = wheelDelta_ / kNotch;
    if (notches != 0) {
        wheelDelta_ -= notches * kNotch;
        ZoomAt(std::pow(kZoomStep, notches), event->position());
    }
}

void DocumentView::ZoomAt(double factor, const QPointF& at) {
    const QPointF content =
        QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value()) + at;
    const int page = layout_.MostVisiblePage(QRect(content.toPoint(), QSize(1, 1)));
    if (page < 0) {
        return;
    }
    // The point's place on its page (or beside it), as fractions of the page.
    const QRect before = layout_.Page(page);
    const double fx = (content.x() - before.left()) / std::max(1, before.width());
    const double fy = (content.y() - before.top()) / std::max(1, before.height());
    fitMode_ = 0;
    zoomX_ = std::clamp(zoomX_ * factor, kMinZoom, kMaxZoom);
    zoomY_ = std::clamp(zoomY_ * factor, kMinZoom, kMaxZoom);
    Relayout();
    const QRect after = layout_.Page(page);
    horizontalScrollBar()->setValue(
        static_cast<int>(std::lround(after.left() + fx * after.width() - at.x())));
    verticalScrollBar()->setValue(
        static_cast<int>(std::lround(after.top() + fy * after.height() - at.y())));
    UpdateCurrentPage(page);
    viewport()->update();
}

void DocumentView::focusOutEvent(QFocusEvent* event) {
    if (indicator_.Editing()) {
        indicator_.Cancel();
        viewport()->update();
    }
    QAbstractScrollArea::focusOutEvent(event);
}

bool DocumentView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QRect indicator = PageIndicatorRect();
        if (indicator.contains(help->pos())) {
            QToolTip::showText(help->globalPos(), PageDetails(), viewport(), indicator);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void DocumentView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !document_) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    if (PageIndicatorRect().contains(event->position().toPoint())) {
        ShowThumbnails(!ThumbnailsShown());
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
