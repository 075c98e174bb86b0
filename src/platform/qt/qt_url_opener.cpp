#include "platform/qt/qt_url_opener.h"

#include <QDesktopServices>
#include <QUrl>

#include "platform/qt/qstring_conversion.h"

namespace folio::qt {

bool QtUrlOpener::OpenUrl(WindowHandle /*owner*/, const std::u16string& address) {
    // Tolerant mode, as a browser's address bar takes it: the item name's spaces are
    // the address's own and are sent as the browser encodes them.
    return QDesktopServices::openUrl(QUrl(ToQString(address), QUrl::TolerantMode));
}

}  // namespace folio::qt
