#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace folio::qt {

// QString is UTF-16 like the core's text, so these copy code units unchanged.
inline QString ToQString(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

inline std::u16string FromQString(const QString& text) {
    return text.toStdU16String();
}

}  // namespace folio::qt
