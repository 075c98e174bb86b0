#pragma once

// Text comparison and trimming the way the program's classic runtime did them.

#include <string_view>

namespace folio {

// The text without its leading and trailing spaces (only U+0020; tabs stay).
inline std::u16string_view TrimSpaces(std::u16string_view text) {
    const size_t first = text.find_first_not_of(u' ');
    if (first == std::u16string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

// Compares two texts code unit by code unit, or (exact false) ignoring the case
// of ASCII and Latin-1 letters; other characters always compare exactly.
bool SameText(std::u16string_view a, std::u16string_view b, bool exact);

}  // namespace folio
