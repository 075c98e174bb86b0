#pragma once

// What the commands show or hand over outside our own dialogs, through Qt: message
// boxes, yes/no questions, and web addresses opened in the desktop's browser.

#include <QPointer>
#include <QWidget>

#include "platform/message_box.h"
#include "platform/question_box.h"
#include "platform/url_opener.h"

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

// QDesktopServices::openUrl: the desktop's default browser, started without waiting.
class QtUrlOpener : public UrlOpener {
  public:
    bool OpenUrl(WindowHandle owner, const std::u16string& address) override;
};

}  // namespace folio::qt
