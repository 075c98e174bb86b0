#include "platform/qt/qt_question_box.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/qt/qstring_conversion.h"

namespace folio::qt {

bool QtQuestionBox::AskYesNo(const std::u16string& text, const std::u16string& title) {
    QMessageBox box(QMessageBox::Question, ToQString(title), ToQString(text),
                    QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace folio::qt
