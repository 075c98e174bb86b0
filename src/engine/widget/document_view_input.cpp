// The viewer's own input: its keys (go to page, zoom, thumbnails), Ctrl+wheel, dragging,
// the page indicator's clicks and details, and the thumbnails beside the pages.
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <exception>

#include "engine/widget/document_view.h"
#include "engine/widget/page_notice.h"
#include "engine/widget/thumbnail_strip.h"

namespace folio::viewer {

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
        const QString details = PageIndicator::Details(
            currentPage_ + 1, layout_.PageCount(), document_->Info(currentPage_),
            document_->QuarterTurns(currentPage_), zoomX_, zoomY_);
        const QString damage = PageDamage(currentPage_);
        return damage.isEmpty()
                   ? details
                   : details + QStringLiteral("\n\n") + DamageText(currentPage_, damage);
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
        const int page =
            document_
                ? layout_.MostVisiblePage(QRect(help->pos() + VisibleArea().topLeft(), QSize(1, 1)))
                : -1;
        const QRect badge = page >= 0 ? DamageBadge(page) : QRect();
        if (indicator.contains(help->pos())) {
            QToolTip::showText(help->globalPos(), PageDetails(), viewport(), indicator);
        } else if (badge.contains(help->pos())) {
            QToolTip::showText(help->globalPos(), DamageText(page, PageDamage(page)), viewport(),
                               badge);
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

}  // namespace folio::viewer
