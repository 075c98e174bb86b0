#pragma once

#include "platform/message_box.h"

namespace folio::qt {

// QMessageBox with an OK button only, over the active window.
class QtMessageBox : public MessageBox {
  public:
    void Show(const std::u16string& text, const std::u16string& title, MessageIcon icon) override;
};

}  // namespace folio::qt
