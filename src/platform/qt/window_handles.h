#pragma once

#include <QWidget>

#include "platform/window_handle.h"

namespace folio::qt {

// The handle the core carries for a top-level widget.
WindowHandle HandleOf(QWidget* window);
// The top-level widget behind `handle`, or null when no such window exists (any more).
QWidget* WidgetOf(WindowHandle handle);

}  // namespace folio::qt
