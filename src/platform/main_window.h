#pragma once

#include <string>
#include <vector>

#include "platform/window_handle.h"

namespace folio {

// The window caption, the title of message boxes that have none of their own, and the
// application name the per-user settings are stored under.
inline constexpr char16_t kAppTitle[] = u"FolioLens";

// One entry of a menu: a command (named after the command it runs) or a separator.
struct MenuItem {
    std::u16string name;
    std::u16string caption;   // "-" for a separator; "&" marks the access key
    std::u16string shortcut;  // portable key text such as "Ctrl+O"; empty for none

    bool IsSeparator() const { return caption == u"-"; }
};

// One menu of the window's menu bar, with its entries in order.
struct Menu {
    std::u16string name;
    std::u16string caption;
    std::vector<MenuItem> items;
};

// The program's main window as the commands see it: an owner for dialogs and the
// caption shown in its title bar.
class MainWindow {
  public:
    virtual ~MainWindow() = default;
    virtual WindowHandle Handle() const = 0;
    virtual std::u16string Caption() const = 0;
};

}  // namespace folio
