// Comparing text with or without case.
#include "common/text.h"

#include <algorithm>

namespace folio {
namespace {

char16_t FoldCase(char16_t c) {
    const bool asciiUpper = c >= u'A' && c <= u'Z';
    // U+00C0..U+00DE are the Latin-1 capitals, except U+00D7 (multiplication sign).
    const bool latin1Upper = c >= 0xC0 && c <= 0xDE && c != 0xD7;
    return asciiUpper || latin1Upper ? static_cast<char16_t>(c + 0x20) : c;
}

}  // namespace

bool SameText(std::u16string_view a, std::u16string_view b, bool exact) {
    if (exact) {
        return a == b;
    }
    return std::ranges::equal(a, b, {}, FoldCase, FoldCase);
}

}  // namespace folio
