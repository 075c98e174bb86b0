#pragma once

#include <string>

#include "platform/window_handle.h"

namespace folio {

// The program's main window as the commands see it: an owner for dialogs and the
// caption shown in its title bar.
class MainWindow {
  public:
    virtual ~MainWindow() = default;
    virtual WindowHandle Handle() const = 0;
    virtual std::u16string Caption() const = 0;
};

}  // namespace folio
