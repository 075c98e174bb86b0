#include "cmdline/tokenize.h"

#include <limits>

#include "common/error.h"
#include "common/error_numbers.h"

namespace folio {

int16_t Tokenize(std::u16string_view text, std::vector<std::u16string>& tokens,
                 std::u16string_view delimiters) {
    int16_t count = 0;
    bool open = false;
    for (const char16_t c : text) {
        if (delimiters.find(c) != std::u16string_view::npos) {
            open = false;
            continue;
        }
        if (!open) {
            if (count == std::numeric_limits<int16_t>::max()) {
                throw Error(errors::kOverflow,
                            "Overflow: the command line holds more than 32767 arguments");
            }
            if (count == 0) {
                tokens.clear();
            }
            ++count;
            tokens.emplace_back();
            open = true;
        }
        tokens.back().push_back(c);
    }
    return count;
}

}  // namespace folio
