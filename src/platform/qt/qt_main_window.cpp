#include "platform/qt/qt_main_window.h"

#include <QAction>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>

#include "application_icon.h"
#include "platform/main_window.h"
#include "platform/qt/qstring_conversion.h"
#include "platform/qt/window_handles.h"

namespace folio::qt {
namespace {

QIcon ApplicationIcon() {
    QIcon icon;
    for (const auto& [size, bytes] : resources::ApplicationIconFiles()) {
        if (size == 0) {
            continue;  // the SVG needs the svg image plugin; the PNGs cover every size
        }
        QPixmap pixmap;
        if (pixmap.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                                static_cast<uint>(bytes.size()), "PNG")) {
            icon.addPixmap(pixmap);
        }
    }
    return icon;
}

}  // namespace

QSize QtMainWindow::InitialViewerSize() {
    // Room for a page at a readable size; the classic 346 x 161 would show a sliver.
    QSize size(900, 700);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize available = screen->availableSize() * 9 / 10;
        size = size.boundedTo(available).expandedTo(QSize(346, 161));
    }
    return size;
}

QtMainWindow::QtMainWindow(const std::vector<Menu>& menus, QWidget* viewer) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(ToQString(kAppTitle));
    setWindowIcon(ApplicationIcon());
    BuildMenus(menus);
    if (viewer != nullptr) {
        viewer->setObjectName(QStringLiteral("MiDocView1"));
        setCentralWidget(viewer);
    }
    const QSize client = InitialViewerSize();
    resize(client.width(), client.height() + menuBar()->sizeHint().height());
}

void QtMainWindow::BuildMenus(const std::vector<Menu>& menus) {
    for (const Menu& menu : menus) {
        QMenu* qmenu = menuBar()->addMenu(ToQString(menu.caption));
        qmenu->setObjectName(ToQString(menu.name));
        for (const MenuItem& item : menu.items) {
            if (item.IsSeparator()) {
                qmenu->addSeparator()->setObjectName(ToQString(item.name));
                continue;
            }
            QAction* action = qmenu->addAction(ToQString(item.caption));
            action->setObjectName(ToQString(item.name));
            if (!item.shortcut.empty()) {
                action->setShortcut(
                    QKeySequence(ToQString(item.shortcut), QKeySequence::PortableText));
            }
            const std::u16string name = item.name;
            connect(action, &QAction::triggered, this, [this, name] {
                if (handler_) {
                    handler_(name);
                }
            });
        }
    }
}

void QtMainWindow::SetCommandHandler(CommandHandler handler) {
    handler_ = std::move(handler);
}

WindowHandle QtMainWindow::Handle() const {
    return HandleOf(const_cast<QtMainWindow*>(this));
}

std::u16string QtMainWindow::Caption() const {
    return FromQString(windowTitle());
}

}  // namespace folio::qt
