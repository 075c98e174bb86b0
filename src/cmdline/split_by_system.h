#pragma once

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

}  // namespace folio
