#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QString>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/document/engine_document.h"
#include "engine/render/page_cache.h"
#include "engine/widget/page_indicator.h"
#include "engine/widget/page_layout.h"
#include "engine/widget/tile_cache.h"
#include "imaging/viewer_control.h"

class QPainter;

namespace folio::viewer {

class ThumbnailStrip;

// The hosted viewer control: shows an engine document's pages one below another,
// renders only what is visible through the engine (area averaging when pages are
// made smaller) and keeps rendered tiles in a small cache so scrolling stays smooth.
// Tiles render on the engine's render queue, never on this thread: a tile not ready
// yet shows the page's preview (what earlier tiles of it showed, scaled) or paper.
// Its own input, with the focus: thumbnails along the left edge (F9, or a click on the
// page indicator), go to page (Ctrl+G or a digit typed), the page's details over the
// page indicator, and zoom by Ctrl+wheel, Ctrl+plus or Ctrl+equal and Ctrl+minus. None
// of it takes a key the program's menus use.
class DocumentView : public QAbstractScrollArea, public imaging::ViewerControl {
    Q_OBJECT

  public:
    // Factors outside this range are brought into it (1% to 6400%).
    static constexpr double kMinZoom = 0.01;
    static constexpr double kMaxZoom = 64.0;
    static constexpr int kTileSize = 512;   // device pixels
    static constexpr int kScrollStep = 40;  // logical pixels per arrow key or wheel step
    // Tiles kept: this many screens' worth, and at least the floor.
    static constexpr int kTileScreens = 6;
    static constexpr size_t kTileCacheFloor = size_t{8} << 20;
    // Pages whose previews are kept, and a preview's longer side in pixels.
    static constexpr size_t kPreviewPages = 24;
    static constexpr int kPreviewSize = 320;
    // One zoom step, per wheel notch or key.
    static constexpr double kZoomStep = 1.3;

    explicit DocumentView(QWidget* parent = nullptr);
    ~DocumentView() override;

    // The engine's document behind a contract document the program made (null for
    // any other): how SetDocument finds what it shows.
    using EngineLookup =
        std::function<std::shared_ptr<engine::EngineDocument>(const imaging::Document&)>;
    void SetEngineLookup(EngineLookup lookup);
    // Shows an engine document that stands for no contract document (GetDocument
    // then answers null); null shows nothing.
    void Show(std::shared_ptr<engine::EngineDocument> document);
    // The engine document shown, or null.
    const std::shared_ptr<engine::EngineDocument>& Shown() const { return document_; }

    // imaging::ViewerControl
    void SetDocument(std::shared_ptr<imaging::Document> document) override;
    std::shared_ptr<imaging::Document> GetDocument() override;
    void SetFileName(const std::u16string& fileName) override;
    std::u16string GetFileName() override;
    int32_t PageNum() override;
    void SetPageNum(int32_t page) override;
    int32_t NumPages() override;
    void SetFitMode(int32_t mode) override;
    int32_t GetFitMode() override;
    void GetZoom(double& first, double& second) override;
    void SetZoom(double& first, double& second) override;
    int32_t LivenessProbe() override;
    void SetWidth(float width) override;
    void SetHeight(float height) override;

    // One line written in the middle of the viewer while it shows no document, such as
    // why the file given at start-up was not opened; a document shown clears it.
    void SetEmptyText(const QString& text);
    QString EmptyText() const { return emptyText_; }

    // The text shown for the current page ("3 / 120", or "Go to page 25 / 500" while
    // the field is open); empty without a document.
    QString PageIndicatorText() const;
    // Where the page indicator is in the viewport; empty without a document.
    QRect PageIndicatorRect() const;
    // The current page's size, resolution, compression and zoom, or its notice, as
    // hovering over the page indicator shows them; empty without a document.
    QString PageDetails() const;
    bool GoToPageOpen() const { return indicator_.Editing(); }
    // The thumbnails beside the pages; the fits leave room for them while shown.
    void ShowThumbnails(bool shown);
    bool ThumbnailsShown() const;
    ThumbnailStrip& Thumbnails() { return *thumbnails_; }
    const TileCache& Tiles() const { return tiles_; }
    // Tiles asked for and not delivered yet; the queue they wait in.
    size_t RequestedTiles() const { return requested_.size(); }
    engine::RenderQueue& Queue() { return *queue_; }
    // Where a page sits in the scrolled area (logical pixels); empty for no such page.
    QRect PageRect(int page) const;
    // Why a page cannot be shown, once the view has tried; empty when it can.
    QString PageNotice(int page) const;
    // Why a page is shown only as far as it could be read, once known (the engine
    // finds it as the page decodes); empty for a sound page.
    QString PageDamage(int page) const;
    // Where the badge of a damaged page sits in the viewport; empty when none shows.
    QRect DamageBadge(int page) const;

  signals:
    // From a worker thread: a tile asked for is ready (or `error` says why not).
    void TileRendered(quint64 request, QImage tile, QString error);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    // Dragging with the left button moves the pages under the pointer.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    struct Anchor {
        int page = -1;
        double fx = 0.5;  // position of the viewport's centre in the page, 0..1
        double fy = 0.0;
        bool centred = true;  // the viewport's centre lies on the page
    };

    void LetGo();
    void Relayout();
    void UpdateScrollBars();
    void ApplyFit();
    void SetZoomKeepingView(double zoomX, double zoomY);
    // Both factors times `factor`, keeping the point `at` (viewport pixels) in place.
    void ZoomAt(double factor, const QPointF& at);
    // Takes the go-to-page field's keys, the thumbnails' and the zoom keys.
    bool OwnKey(const QKeyEvent& event);
    void PlaceThumbnails();
    Anchor CaptureAnchor() const;
    void RestoreAnchor(const Anchor& anchor);
    // `preferred` stays current while it shows as much as any other page.
    void UpdateCurrentPage(int preferred = -1);
    void SetCurrentPage(int page);
    void OnPageTurned(int page);
    QRect VisibleArea() const;
    double DeviceScale() const;
    struct PageMetrics {
        double scale;  // device pixels per logical pixel
        double dpiX;   // device pixels per inch
        double dpiY;
    };
    PageMetrics CurrentMetrics() const;
    // Sets the page's device and logical sizes (or its notice).
    void MeasurePage(int page, const PageMetrics& metrics);
    void RelayoutPage(int page);

    void PaintPage(QPainter& painter, int page, const QRect& visible);
    // The tile if rendered; otherwise null, and it is asked for.
    QImage Tile(int page, const QSize& pageSize, int column, int row);
    void OnTileRendered(quint64 request, const QImage& tile, const QString& error);
    // Drops queued requests for tiles not wanted by the last paint, then reads the next
    // page ahead when nothing else waits, and fits the caches to what is shown.
    void AfterPaint(int first, int last);
    void DropRequests(const std::function<bool(const TileKey&)>& unwanted);
    void ForgetRequests();
    void AddToPreview(const TileKey& key, const QRectF& part, const QImage& tile);
    const QImage* Preview(int page) const;

    EngineLookup engineLookup_;
    // What is shown, and the contract document it stands for (null when shown
    // without one).
    std::shared_ptr<engine::EngineDocument> document_;
    std::shared_ptr<imaging::Document> contract_;
    double zoomX_ = 1.0;
    double zoomY_ = 1.0;
    int32_t fitMode_ = 0;
    int currentPage_ = -1;
    PageLayout layout_;
    std::vector<QSize> deviceSizes_;
    std::vector<QSize> logicalSizes_;
    std::vector<uint64_t> generations_;
    std::map<int, QString> pageErrors_;
    TileCache tiles_;
    // A rendered tile's place on its page, as fractions of the page's size.
    struct Request {
        TileKey key;
        QRectF part;
    };
    std::unique_ptr<engine::RenderQueue> queue_;
    std::unordered_map<TileKey, quint64, TileKeyHash> requested_;
    std::unordered_map<quint64, Request> requests_;
    std::unordered_set<TileKey, TileKeyHash> wanted_;  // by the paint under way
    quint64 nextRequest_ = 1;
    int readAhead_ = -1;
    int lastScroll_ = 0;
    struct PagePreview {
        int page;
        uint64_t generation;
        QImage image;
    };
    std::list<PagePreview> previews_;  // most recently shown first
    bool fitting_ = false;
    QString emptyText_;
    std::optional<QPoint> dragFrom_;
    PageIndicator indicator_;
    ThumbnailStrip* thumbnails_;  // a child, hidden until asked for
    int wheelDelta_ = 0;          // eighths of a degree not yet a whole notch
};

}  // namespace folio::viewer
