#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace folio {

// The argument list of a platform without its own splitter: the program token
// (quoted or up to the first space), then every space-separated word after it.
// Quotes around arguments are kept, so a quoted argument holding a space becomes
// two. A program quote that never closes takes the rest of the line. Raises an
// overflow error past 32767 arguments.
std::vector<std::u16string> SplitByTokenizer(std::u16string_view line);

}  // namespace folio
