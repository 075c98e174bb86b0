#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "engine/engine_document.h"
#include "engine/widget/page_layout.h"
#include "engine/widget/tile_cache.h"
#include "imaging/viewer_control.h"

class QPainter;

namespace folio::viewer {

// The hosted viewer control: shows an engine document's pages one below another,
// renders only what is visible through the engine (area averaging when pages are
// made smaller) and keeps rendered tiles in a small cache so scrolling stays smooth.
class DocumentView : public QAbstractScrollArea, public imaging::ViewerControl {
    Q_OBJECT

  public:
    // Factors outside this range are brought into it (1% to 6400%).
    static constexpr double kMinZoom = 0.01;
    static constexpr double kMaxZoom = 64.0;
    static constexpr int kTileSize = 512;   // device pixels
    static constexpr int kScrollStep = 40;  // logical pixels per arrow key or wheel step
    static constexpr size_t kTileCacheBudget = size_t{96} << 20;

    explicit DocumentView(QWidget* parent = nullptr);
    ~DocumentView() override;

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

    // The text shown for the current page ("3 / 120"); empty without a document.
    QString PageIndicatorText() const;
    const TileCache& Tiles() const { return tiles_; }
    // Where a page sits in the scrolled area (logical pixels); empty for no such page.
    QRect PageRect(int page) const;
    // Why a page cannot be shown, once the view has tried; empty when it can.
    QString PageNotice(int page) const;
    // `font`, made smaller as needed for `message` to fit in `box` (down to 4 points).
    static QFont NoticeFont(QFont font, const QSize& box, const QString& message);
    static constexpr int kNoticeFlags = Qt::AlignCenter | Qt::TextWordWrap;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
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
    Anchor CaptureAnchor() const;
    void RestoreAnchor(const Anchor& anchor);
    // `preferred` stays current while it shows as much as any other page.
    void UpdateCurrentPage(int preferred = -1);
    void OnPageTurned(int page);
    QRect VisibleArea() const;
    double DeviceScale() const;
    QSize DevicePageSize(int page) const;

    void PaintPage(QPainter& painter, int page, const QRect& visible);
    void PaintNotice(QPainter& painter, int page, const QRect& pageRect, const QString& text);
    void PaintIndicator(QPainter& painter);
    QImage Tile(int page, const QSize& pageSize, int column, int row);

    std::shared_ptr<engine::EngineDocument> document_;
    double zoomX_ = 1.0;
    double zoomY_ = 1.0;
    int32_t fitMode_ = 0;
    int currentPage_ = -1;
    PageLayout layout_;
    std::vector<QSize> deviceSizes_;
    std::vector<uint64_t> generations_;
    std::map<int, QString> pageErrors_;
    TileCache tiles_;
    bool fitting_ = false;
    std::optional<QPoint> dragFrom_;
};

}  // namespace folio::viewer
