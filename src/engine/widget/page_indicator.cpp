#include "engine/widget/page_indicator.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <utility>

namespace folio::viewer {
namespace {

constexpr int kPadding = 8;     // around the text, each side
constexpr int kCornerGap = 12;  // from the viewer's edges
constexpr int kFieldPadding = 3;

QString Tr(const char* text) {
    return QCoreApplication::translate("folio::viewer::PageIndicator", text);
}

QString GoToPrefix() {
    return Tr("Go to page ");
}

QString OfCount(int pageCount) {
    return QStringLiteral(" / %1").arg(pageCount);
}

QString Percent(double factor) {
    const double percent = factor * 100.0;
    // Whole percents, but a tenth below 10% so small zooms still read apart.
    return QString::number(percent, 'f', percent < 10.0 ? 1 : 0) + QLatin1Char('%');
}

QString Pair(const QString& first, const QString& second) {
    return first == second ? first : first + QStringLiteral(" \u00d7 ") + second;
}

}  // namespace

void PageIndicator::StartEditing() {
    editing_ = true;
    typed_.clear();
}

void PageIndicator::Cancel() {
    editing_ = false;
    typed_.clear();
}

bool PageIndicator::Type(int digit, int pageCount) {
    const QString number = typed_ + QString::number(digit);
    const int value = number.toInt();
    if (value < 1 || value > pageCount) {
        return false;
    }
    typed_ = number;
    return true;
}

PageIndicator::KeyResult PageIndicator::Key(const QKeyEvent& event, int pageCount) {
    if (!editing_) {
        return KeyResult::Ignored;
    }
    // Shift is let through: some keyboards type digits with it.
    if ((event.modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) != Qt::NoModifier) {
        return KeyResult::Ignored;
    }
    const int key = event.key();
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        Type(key - Qt::Key_0, pageCount);
        return KeyResult::Taken;
    }
    switch (key) {
        case Qt::Key_Backspace:
            typed_.chop(1);
            return KeyResult::Taken;
        case Qt::Key_Escape:
            Cancel();
            return KeyResult::Taken;
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            if (typed_.isEmpty()) {
                return KeyResult::Taken;  // no number yet: the field stays open
            }
            target_ = typed_.toInt();
            Cancel();
            return KeyResult::Go;
        }
        default:
            return KeyResult::Ignored;
    }
}

QString PageIndicator::Text(int currentPage, int pageCount) const {
    if (pageCount <= 0) {
        return {};
    }
    if (editing_) {
        return GoToPrefix() + typed_ + OfCount(pageCount);
    }
    return QString::number(currentPage) + OfCount(pageCount);
}

QFont PageIndicator::Font(QFont font) {
    font.setPointSizeF(font.pointSizeF() * 0.9);
    return font;
}

int PageIndicator::FieldWidth(const QFont& font, int pageCount) {
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(QString::number(pageCount)) + 2 * kFieldPadding;
}

QRect PageIndicator::Rect(const QFont& base, const QRect& area, int currentPage,
                          int pageCount) const {
    if (pageCount <= 0) {
        return {};
    }
    const QFont font = Font(base);
    const QFontMetrics metrics(font);
    const int textWidth = editing_ ? metrics.horizontalAdvance(GoToPrefix() + OfCount(pageCount)) +
                                         FieldWidth(font, pageCount)
                                   : metrics.horizontalAdvance(Text(currentPage, pageCount));
    const QSize size(textWidth + 2 * kPadding, metrics.height() + kPadding);
    return QRect(area.right() + 1 - size.width() - kCornerGap,
                 area.bottom() + 1 - size.height() - kCornerGap, size.width(), size.height());
}

void PageIndicator::Paint(QPainter& painter, const QRect& area, int currentPage,
                          int pageCount) const {
    const QRect box = Rect(painter.font(), area, currentPage, pageCount);
    if (box.isEmpty()) {
        return;
    }
    painter.save();
    const QFont font = Font(painter.font());
    painter.setFont(font);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x20, 0x20, 0x20, 160));
    painter.drawRoundedRect(box, 6, 6);
    painter.setPen(Qt::white);
    if (!editing_) {
        painter.drawText(box, Qt::AlignCenter, Text(currentPage, pageCount));
        painter.restore();
        return;
    }
    // "Go to page [25] / 500": the number in a light field of its own.
    const QFontMetrics metrics(font);
    const QRect inner = box.adjusted(kPadding, 0, -kPadding, 0);
    const int prefixWidth = metrics.horizontalAdvance(GoToPrefix());
    painter.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter, GoToPrefix());
    const QRect field(inner.left() + prefixWidth, box.top() + 3, FieldWidth(font, pageCount),
                      box.height() - 6);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(field, 3, 3);
    painter.setPen(Qt::black);
    painter.drawText(field.adjusted(kFieldPadding, 0, -kFieldPadding, 0),
                     Qt::AlignLeft | Qt::AlignVCenter, typed_);
    // The caret after the digits typed.
    const int caret = field.left() + kFieldPadding + metrics.horizontalAdvance(typed_);
    painter.drawLine(caret, field.top() + 2, caret, field.bottom() - 2);
    painter.setPen(Qt::white);
    painter.drawText(inner.adjusted(prefixWidth + field.width(), 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignVCenter, OfCount(pageCount));
    painter.restore();
}

QString PageIndicator::Details(int page, int pageCount, const engine::PageInfo& info,
                               int quarterTurns, double zoomX, double zoomY) {
    // As shown: a quarter turn swaps the page's width and height, and its resolutions.
    uint32_t width = info.width;
    uint32_t height = info.height;
    double xDpi = info.xDpi;
    double yDpi = info.yDpi;
    if (quarterTurns % 2 != 0) {
        std::swap(width, height);
        std::swap(xDpi, yDpi);
    }
    QString resolution;
    if (xDpi > 0.0 && yDpi > 0.0) {
        resolution =
            Tr("%1 dpi").arg(Pair(QString::number(xDpi, 'g', 6), QString::number(yDpi, 'g', 6)));
    } else {
        resolution = Tr("no resolution given");
    }
    return Tr("Page %1 of %2").arg(page).arg(pageCount) + QLatin1Char('\n') +
           Tr("%1 \u00d7 %2 pixels").arg(width).arg(height) + QLatin1Char('\n') + resolution +
           QLatin1Char('\n') + QString::fromStdString(info.compressionName) + QLatin1Char('\n') +
           Tr("Zoom %1 of original size").arg(Pair(Percent(zoomX), Percent(zoomY)));
}

}  // namespace folio::viewer
