#pragma once

// The two ways CommandLine turns the raw line into its argument list: the
// system's splitter (the NT family) and the tokenizer (every other platform).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/command_line_source.h"

namespace folio {

// The argument list on the NT family: exactly two elements. Element 0 is the
// running executable's full path (from splitting an empty line), whatever was
// typed for the program; element 1 is every argument of the line, quotes removed,
// joined by single spaces, or empty. A failed split leaves element 1 empty. Each
// split is released through the source.
std::vector<std::u16string> SplitBySystem(std::u16string_view line, CommandLineSource& source);

// The argument list of a platform without its own splitter: the program token
// (quoted or up to the first space), then every space-separated word after it.
// Quotes around arguments are kept, so a quoted argument holding a space becomes
// two. A program quote that never closes takes the rest of the line. Raises an
// overflow error past 32767 arguments.
std::vector<std::u16string> SplitByTokenizer(std::u16string_view line);

// Splits text at any of the delimiter characters into tokens; runs of delimiters
// make no empty tokens. Returns the count; tokens then holds exactly the tokens,
// and is left untouched when the text holds none. The count is 16-bit: opening a
// 32768th token raises an overflow error (errors::kOverflow).
int16_t Tokenize(std::u16string_view text, std::vector<std::u16string>& tokens,
                 std::u16string_view delimiters = u" ");

}  // namespace folio
