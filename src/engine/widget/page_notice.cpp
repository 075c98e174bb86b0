#include "engine/widget/page_notice.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "common/utf8.h"

namespace folio::viewer {

QString ErrorText(const std::exception& e) {
    // A file name's bytes that are not UTF-8 read as "\xFF", not as U+FFFD.
    return QString::fromStdString(ShownUtf8(e.what()));
}

QString NoticeText(int page, const QString& error) {
    return QCoreApplication::translate("folio::viewer::DocumentView", "Page %1 cannot be shown.")
               .arg(page + 1) +
           QStringLiteral("\n\n") + error;
}

QFont NoticeFont(QFont font, const QSize& box, const QString& message) {
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

namespace {

const QColor kNoticeRed(0xb0, 0x30, 0x30);

void DrawFrame(QPainter& painter, const QRect& shown) {
    painter.setPen(QPen(kNoticeRed, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(shown.adjusted(1, 1, -2, -2));
}

QString BadgeLabel() {
    return QCoreApplication::translate("folio::viewer::DocumentView", "Damaged");
}

QFont BadgeFont(QFont font) {
    font.setPointSizeF(font.pointSizeF() * 0.85);
    font.setBold(true);
    return font;
}

}  // namespace

void DrawNotice(QPainter& painter, const QRect& shown, const QString& message) {
    if (shown.isEmpty()) {
        return;
    }
    painter.save();
    DrawFrame(painter, shown);
    painter.setPen(QColor(0x40, 0x40, 0x40));
    const int margin = std::min(16, std::min(shown.width(), shown.height()) / 10);
    const QRect box = shown.adjusted(margin, margin, -margin, -margin);
    painter.setFont(NoticeFont(painter.font(), box.size(), message));
    painter.drawText(box, kNoticeFlags, message);
    painter.restore();
}

QString DamageText(int page, const QString& damage) {
    return QCoreApplication::translate("folio::viewer::DocumentView",
                                       "Page %1 is damaged: it shows what could be read of it.")
               .arg(page + 1) +
           QStringLiteral("\n\n") + damage;
}

QRect DamageBadgeRect(const QFont& font, const QRect& shown) {
    constexpr int kInset = 6;
    const QFontMetrics metrics(BadgeFont(font));
    const QSize size(metrics.horizontalAdvance(BadgeLabel()) + 2 * kInset,
                     metrics.height() + kInset / 2);
    // In the corner of the part in view, so that it is seen wherever the page is scrolled.
    return QRect(shown.right() + 1 - kInset - size.width(), shown.top() + kInset, size.width(),
                 size.height())
        .intersected(shown);
}

void DrawDamageBadge(QPainter& painter, const QRect& shown) {
    if (shown.isEmpty()) {
        return;
    }
    painter.save();
    DrawFrame(painter, shown);
    const QRect badge = DamageBadgeRect(painter.font(), shown);
    painter.setFont(BadgeFont(painter.font()));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kNoticeRed);
    painter.drawRoundedRect(badge, 4, 4);
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, BadgeLabel());
    painter.restore();
}

}  // namespace folio::viewer
