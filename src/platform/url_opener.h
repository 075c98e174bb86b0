#pragma once

#include <string>

#include "platform/window_handle.h"

namespace folio {

// Hands a web address to the desktop's default browser and returns at once.
class UrlOpener {
  public:
    virtual ~UrlOpener() = default;
    // False when the desktop refused the address; nothing waits for the browser.
    virtual bool OpenUrl(WindowHandle owner, const std::u16string& address) = 0;
};

}  // namespace folio
