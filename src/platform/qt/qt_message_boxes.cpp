// Message boxes, yes/no questions and opening web addresses, through Qt.
#include "platform/qt/qt_message_boxes.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

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
    QMessageBox box(ToQtIcon(icon), ToQString(title), ToShownQString(text), QMessageBox::Ok, owner);
    box.exec();
}

bool QtQuestionBox::AskYesNo(const std::u16string& text, const std::u16string& title) {
    QMessageBox box(QMessageBox::Question, ToQString(title), ToShownQString(text),
                    QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool QtUrlOpener::OpenUrl(WindowHandle /*owner*/, const std::u16string& address) {
    // Tolerant mode, as a browser's address bar takes it: the item name's spaces are
    // the address's own and are sent as the browser encodes them.
    return QDesktopServices::openUrl(QUrl(ToQString(address), QUrl::TolerantMode));
}

}  // namespace folio::qt
