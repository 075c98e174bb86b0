#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/message_box.h"

namespace folio::qt {

// QMessageBox with an OK button only, centred on the program's main window.
class QtMessageBox : public MessageBox {
  public:
    explicit QtMessageBox(QWidget* mainWindow) : mainWindow_(mainWindow) {}

    void Show(const std::u16string& text, const std::u16string& title, MessageIcon icon) override;

  private:
    QPointer<QWidget> mainWindow_;
};

}  // namespace folio::qt
