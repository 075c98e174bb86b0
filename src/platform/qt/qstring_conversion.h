#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "common/utf8.h"

namespace folio::qt {

// QString is UTF-16 like the core's text, so these copy code units unchanged.
inline QString ToQString(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

inline std::u16string FromQString(const QString& text) {
    return text.toStdU16String();
}

// Text for a person to read on screen: a name's bytes that are not UTF-8, which
// the core keeps as U+DC80 + byte, shown as "\xFF" (Qt would draw U+FFFD).
// Qt 6.4 itself decodes such bytes of a file name to U+FFFD, so a name that
// comes from Qt never holds them.
inline QString ToShownQString(std::u16string_view text) {
    return ToQString(ShownText(text));
}

}  // namespace folio::qt
