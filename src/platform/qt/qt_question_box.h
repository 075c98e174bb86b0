#pragma once

#include "platform/question_box.h"

namespace folio::qt {

// QMessageBox with Yes and No buttons, No the default, over the active window.
class QtQuestionBox : public QuestionBox {
  public:
    bool AskYesNo(const std::u16string& text, const std::u16string& title) override;
};

}  // namespace folio::qt
