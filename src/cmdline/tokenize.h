#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace folio {

// Splits text at any of the delimiter characters into tokens; runs of delimiters
// make no empty tokens. Returns the count; tokens then holds exactly the tokens,
// and is left untouched when the text holds none. The count is 16-bit: opening a
// 32768th token raises an overflow error (errors::kOverflow).
int16_t Tokenize(std::u16string_view text, std::vector<std::u16string>& tokens,
                 std::u16string_view delimiters = u" ");

}  // namespace folio
