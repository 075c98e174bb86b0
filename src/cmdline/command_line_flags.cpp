// The flag queries of CommandLine. Element 0, the program, is never examined.
#include "cmdline/command_line.h"
#include "cmdline/same_text.h"

namespace folio {

std::u16string CommandLine::FlaggedArg(std::u16string_view Flag) const {
    for (size_t i = 1; i < args_.size(); ++i) {
        const std::u16string_view arg = args_[i];
        if (arg.size() < Flag.size() ||
            !SameText(arg.substr(0, Flag.size()), Flag, caseSensitive_)) {
            continue;
        }
        if (arg.size() == Flag.size()) {
            return i + 1 < args_.size() ? args_[i + 1] : std::u16string();
        }
        std::u16string_view rest = arg.substr(Flag.size());
        // "assoc:reg" and "assoc reg" (joined on the NT family) give reg; a lone
        // separator is kept, so "assoc:" gives ":".
        if (rest.size() >= 2 && (rest.front() == u' ' || rest.front() == u':')) {
            rest.remove_prefix(1);
        }
        return std::u16string(rest);
    }
    return {};
}

int32_t CommandLine::FlagPresent(std::u16string_view Flag) const {
    for (size_t i = 1; i < args_.size(); ++i) {
        if (SameText(args_[i], Flag, caseSensitive_)) {
            return static_cast<int32_t>(i);
        }
    }
    return 0;
}

bool CommandLine::FlagPresentFromList(const std::vector<FlagValue>& Flags) const {
    for (const FlagValue& flag : Flags) {
        if (FlagPresent(flag.Text()) != 0) {
            return true;
        }
    }
    return false;
}

}  // namespace folio
