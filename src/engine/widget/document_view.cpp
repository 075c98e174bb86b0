#include "engine/widget/document_view.h"

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
#include "engine/widget/page_notice.h"
#include "engine/widget/thumbnail_strip.h"

namespace folio::viewer {
namespace {

constexpr int kTwipsPerInch = 1440;

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

void DocumentView::SetEngineLookup(EngineLookup lookup) {
    engineLookup_ = std::move(lookup);
}

void DocumentView::SetDocument(std::shared_ptr<imaging::Document> document) {
    if (!document) {
        LetGo();
        return;
    }
    auto engineDocument = engineLookup_ ? engineLookup_(*document) : nullptr;
    if (!engineDocument) {
        throw Error(errors::kTypeMismatch,
                    "The viewer can show only documents opened by the FolioLens engine");
    }
    Show(std::move(engineDocument));
    contract_ = std::move(document);
}

void DocumentView::Show(std::shared_ptr<engine::EngineDocument> engineDocument) {
    if (!engineDocument) {
        LetGo();
        return;
    }
    const int pages = engineDocument->PageCount();
    LetGo();
    emptyText_.clear();
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

void DocumentView::SetEmptyText(const QString& text) {
    emptyText_ = text;
    viewport()->update();
}

std::shared_ptr<imaging::Document> DocumentView::GetDocument() {
    return contract_;
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
    return document_ ? FromUtf8(document_->FilePath().string()) : std::u16string();
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
    contract_.reset();
    generations_.clear();
    deviceSizes_.clear();
    logicalSizes_.clear();
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

QRect DocumentView::PageRect(int page) const {
    return page >= 0 && page < layout_.PageCount() ? layout_.Page(page) : QRect();
}

QString DocumentView::PageNotice(int page) const {
    const auto found = pageErrors_.find(page);
    return found == pageErrors_.end() ? QString() : found->second;
}

QString DocumentView::PageDamage(int page) const {
    if (!document_ || page < 0 || page >= layout_.PageCount()) {
        return {};
    }
    try {
        return QString::fromStdString(ShownUtf8(document_->Info(page).damage));
    } catch (const std::exception&) {
        return {};  // the page's own notice says what is wrong
    }
}

QRect DocumentView::DamageBadge(int page) const {
    if (PageDamage(page).isEmpty() || pageErrors_.count(page) != 0) {
        return {};
    }
    const QRect onScreen = layout_.Page(page).translated(-VisibleArea().topLeft());
    const QRect shown = onScreen.intersected(viewport()->rect());
    return shown.isEmpty() ? QRect() : DamageBadgeRect(viewport()->font(), shown);
}

double DocumentView::DeviceScale() const {
    return devicePixelRatioF();
}

void DocumentView::MeasurePage(int page, const PageMetrics& metrics) {
    QSize device;
    try {
        const engine::DisplaySize shown =
            document_->ShownSize(page, zoomX_, zoomY_, metrics.dpiX, metrics.dpiY);
        device = QSize(std::max(1, static_cast<int>(std::lround(shown.width))),
                       std::max(1, static_cast<int>(std::lround(shown.height))));
    } catch (const std::exception& e) {
        // A page whose size cannot be read still takes a place for its notice.
        pageErrors_[page] = ErrorText(e);
        device = QSize(static_cast<int>(std::lround(8.27 * metrics.dpiX * zoomX_)),
                       static_cast<int>(std::lround(11.69 * metrics.dpiY * zoomY_)));
    }
    const auto index = static_cast<size_t>(page);
    deviceSizes_[index] = device;
    logicalSizes_[index] = QSize(static_cast<int>(std::ceil(device.width() / metrics.scale)),
                                 static_cast<int>(std::ceil(device.height() / metrics.scale)));
}

DocumentView::PageMetrics DocumentView::CurrentMetrics() const {
    const double scale = DeviceScale();
    return {scale, logicalDpiX() * scale, logicalDpiY() * scale};
}

void DocumentView::Relayout() {
    const size_t pages = document_ ? generations_.size() : 0;
    deviceSizes_.assign(pages, QSize());
    logicalSizes_.assign(pages, QSize());
    const PageMetrics metrics = CurrentMetrics();
    for (size_t page = 0; page < pages; ++page) {
        MeasurePage(static_cast<int>(page), metrics);
    }
    layout_ = PageLayout(logicalSizes_, viewport()->width());
    UpdateScrollBars();
}

// Only the turned page changes size: turning every page of a long document one by
// one stays linear.
void DocumentView::RelayoutPage(int page) {
    if (page < 0 || static_cast<size_t>(page) >= deviceSizes_.size()) {
        Relayout();
        return;
    }
    MeasurePage(page, CurrentMetrics());
    layout_ = PageLayout(logicalSizes_, viewport()->width());
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
    RelayoutPage(page);
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

}  // namespace folio::viewer
