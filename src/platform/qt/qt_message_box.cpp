#include "platform/qt/qt_message_box.h"

#include <QApplication>
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
    QMessageBox box(ToQtIcon(icon), ToQString(title), ToQString(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

}  // namespace folio::qt
