#pragma once

#include <string>
#include <vector>

namespace folio::app {

// One entry of a menu: a command (named after the command it runs) or a separator.
struct MenuItem {
    std::u16string name;
    std::u16string caption;   // "-" for a separator; "&" marks the access key
    std::u16string shortcut;  // portable key text such as "Ctrl+O"; empty for none

    bool IsSeparator() const { return caption == u"-"; }
};

struct Menu {
    std::u16string name;
    std::u16string caption;
    std::vector<MenuItem> items;
};

// The main window's menu bar, in order.
const std::vector<Menu>& MainMenus();

}  // namespace folio::app
