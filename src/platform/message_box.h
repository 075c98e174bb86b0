#pragma once

#include <string>

namespace folio {

enum class MessageIcon { None, Error, Exclamation, Information };

// A modal message box with an OK button only; returns when the user closes it.
class MessageBox {
  public:
    virtual ~MessageBox() = default;
    virtual void Show(const std::u16string& text, const std::u16string& title,
                      MessageIcon icon) = 0;
};

}  // namespace folio
