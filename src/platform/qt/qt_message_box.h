#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/message_box.h"
#include "platform/question_box.h"

namespace folio::qt {

// QMessageBox with an OK button only, centred on the program's main window.
class QtMessageBox : public MessageBox {
  public:
    explicit QtMessageBox(QWidget* mainWindow) : mainWindow_(mainWindow) {}

    void Show(const std::u16string& text, const std::u16string& title, MessageIcon icon) override;

  private:
    QPointer<QWidget> mainWindow_;
};

// QMessageBox with Yes and No buttons, No the default, over the active window.
class QtQuestionBox : public QuestionBox {
  public:
    bool AskYesNo(const std::u16string& text, const std::u16string& title) override;
};

}  // namespace folio::qt
