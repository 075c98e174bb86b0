#pragma once

#include "platform/text_codec.h"

namespace folio::posix {

// On POSIX the narrow code page is UTF-8.
class Utf8TextCodec : public TextCodec {
  public:
    std::string ToAnsi(std::u16string_view text) const override;
    std::u16string FromAnsi(std::string_view bytes) const override;
};

}  // namespace folio::posix
