#include "platform/qt/window_handles.h"

#include <QApplication>

namespace folio::qt {

WindowHandle HandleOf(QWidget* window) {
    return reinterpret_cast<WindowHandle>(window);
}

QWidget* WidgetOf(WindowHandle handle) {
    if (handle == 0) {
        return nullptr;
    }
    // Only a window that still exists is handed back, never a dangling pointer.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (HandleOf(widget) == handle) {
            return widget;
        }
    }
    return nullptr;
}

}  // namespace folio::qt
