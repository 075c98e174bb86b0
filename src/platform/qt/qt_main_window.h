#pragma once

#include <QMainWindow>
#include <QSize>
#include <functional>
#include <string>
#include <vector>

#include "platform/main_window.h"

namespace folio::qt {

// The program's one window: the menu bar built from the menu table, the viewer filling
// the client area below it, the caption "FolioLens" and the application icon. Every
// menu item hands its name to the one command handler.
class QtMainWindow : public QMainWindow, public MainWindow {
    Q_OBJECT

  public:
    using CommandHandler = std::function<void(const std::u16string& name)>;

    QtMainWindow(const std::vector<Menu>& menus, QWidget* viewer);

    void SetCommandHandler(CommandHandler handler);

    WindowHandle Handle() const override;
    std::u16string Caption() const override;

    // The client area below the menu bar that the window opens with, in pixels.
    static QSize InitialViewerSize();

  private:
    void BuildMenus(const std::vector<Menu>& menus);

    CommandHandler handler_;
};

}  // namespace folio::qt
