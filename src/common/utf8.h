#pragma once

#include <string>
#include <string_view>

namespace folio {

// UTF-16 <-> UTF-8. Unpaired surrogates and malformed bytes become U+FFFD, so
// the conversion never fails and never reads past its input.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

}  // namespace folio
