#pragma once

#include <string>
#include <string_view>

namespace folio {

// The platform's narrow ("ANSI") code page, used where the program hands strings to
// narrow platform entry points or measures them in bytes: UTF-8 on POSIX.
class TextCodec {
  public:
    virtual ~TextCodec() = default;
    virtual std::string ToAnsi(std::u16string_view text) const = 0;
    virtual std::u16string FromAnsi(std::string_view bytes) const = 0;
};

}  // namespace folio
