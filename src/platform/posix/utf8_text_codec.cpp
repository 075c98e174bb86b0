#include "platform/posix/utf8_text_codec.h"

#include "common/utf8.h"

namespace folio::posix {

std::string Utf8TextCodec::ToAnsi(std::u16string_view text) const {
    return ToUtf8(text);
}

std::u16string Utf8TextCodec::FromAnsi(std::string_view bytes) const {
    return FromUtf8(bytes);
}

}  // namespace folio::posix
