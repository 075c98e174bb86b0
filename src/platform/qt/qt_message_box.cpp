#include "platform/qt/qt_message_box.h"

#include <QMessageBox>

#include "platform/qt/qstring_conversion.h"

namespace folio::qt {
namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void QtMessageBox::Show(const std::u16string& text, const std::u16string& title, MessageIcon icon) {
    // Before the window is shown (the load step's messages) the box stands on its own,
    // in the middle of the screen.
    QWidget* owner = mainWindow_ && mainWindow_->isVisible() ? mainWindow_.data() : nullptr;
    QMessageBox box(ToQtIcon(icon), ToQString(title), ToQString(text), QMessageBox::Ok, owner);
    box.exec();
}

}  // namespace folio::qt
