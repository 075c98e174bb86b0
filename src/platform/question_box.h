#pragma once

#include <string>

namespace folio {

// A modal question with Yes and No buttons.
class QuestionBox {
  public:
    virtual ~QuestionBox() = default;
    // True when the user answered Yes; closing the box counts as No.
    virtual bool AskYesNo(const std::u16string& text, const std::u16string& title) = 0;
};

}  // namespace folio
