#pragma once

#include <string_view>

namespace folio {

// Compares two texts code unit by code unit, or (exact false) ignoring the case
// of ASCII and Latin-1 letters; other characters always compare exactly.
bool SameText(std::u16string_view a, std::u16string_view b, bool exact);

}  // namespace folio
