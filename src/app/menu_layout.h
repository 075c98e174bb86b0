#pragma once

#include <vector>

#include "platform/main_window.h"

namespace folio::app {

// The main window's menu bar, in order.
const std::vector<Menu>& MainMenus();

}  // namespace folio::app
