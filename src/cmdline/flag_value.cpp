#include "cmdline/flag_value.h"

#include <cstdio>

#include "common/error.h"
#include "common/error_numbers.h"

namespace folio {

FlagValue::FlagValue(double value) {
    // Up to 15 significant digits, exponent form like 1E+20 for large and tiny
    // values, and no "-0".
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.15G", value == 0.0 ? 0.0 : value);
    const std::string digits(buffer);
    text_ = std::u16string(digits.begin(), digits.end());
}

const std::u16string& FlagValue::Text() const {
    if (!text_) {
        throw Error(errors::kTypeMismatch, "Invalid use of Null: a flag in the list has no text");
    }
    return *text_;
}

}  // namespace folio
