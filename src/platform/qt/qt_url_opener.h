#pragma once

#include "platform/url_opener.h"

namespace folio::qt {

// QDesktopServices::openUrl: the desktop's default browser, started without waiting.
class QtUrlOpener : public UrlOpener {
  public:
    bool OpenUrl(WindowHandle owner, const std::u16string& address) override;
};

}  // namespace folio::qt
