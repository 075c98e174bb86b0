#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <exception>

class QPainter;

namespace folio::viewer {

// The notice a page that cannot be shown gets in its place, in the viewer and in the
// thumbnails alike.
inline constexpr int kNoticeFlags = Qt::AlignCenter | Qt::TextWordWrap;

// What went wrong, as a notice says it.
QString ErrorText(const std::exception& e);
// "Page 3 cannot be shown." and why; `page` counts from 0.
QString NoticeText(int page, const QString& error);
// `font`, made smaller as needed for `message` to fit in `box` (down to 4 points).
QFont NoticeFont(QFont font, const QSize& box, const QString& message);
// Frames `shown` (the part of the page in view) and writes `message` inside it, as
// large as fits.
void DrawNotice(QPainter& painter, const QRect& shown, const QString& message);

// A page shown in spite of damage keeps its pixels and gets the notice's frame with
// a small badge in its corner; the reason goes into its details and tooltip.
// "Page 3 is damaged: it shows what could be read of it." and why; `page` from 0.
QString DamageText(int page, const QString& damage);
// Where the badge goes on `shown` (the part of the page in view), drawn in `font`.
QRect DamageBadgeRect(const QFont& font, const QRect& shown);
// Frames `shown` and draws the badge on it.
void DrawDamageBadge(QPainter& painter, const QRect& shown);

}  // namespace folio::viewer
