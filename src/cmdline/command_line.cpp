// CommandLine: reading and splitting the line, the arguments, the flag queries, and
// the text of flag-list items.
#include "cmdline/command_line.h"

#include <cstdio>

#include "cmdline/command_line_split.h"
#include "common/error.h"
#include "common/error_numbers.h"
#include "common/text.h"

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

CommandLine::CommandLine(CommandLineSource& source, const PlatformTraits& traits)
    : source_(&source), separator_(traits.separator) {
    Refresh();
}

void CommandLine::Refresh() {
    std::u16string rawLine = source_->CommandLineText();
    std::vector<std::u16string> args = source_->PlatformFamily() == CommandLineSource::kNtFamily
                                           ? SplitBySystem(rawLine, *source_)
                                           : SplitByTokenizer(rawLine);
    const std::u16string& program = args.front();
    const size_t last = program.rfind(separator_);
    if (last == std::u16string::npos) {
        appPath_.clear();
        appExeName_ = program;
    } else {
        appPath_ = program.substr(0, last + 1);
        appExeName_ = program.substr(last + 1);
    }
    rawLine_ = std::move(rawLine);
    args_ = std::move(args);
}

std::u16string CommandLine::AppExeName(bool BaseOnly) const {
    if (BaseOnly) {
        const size_t dot = appExeName_.rfind(u'.');
        if (dot != std::u16string::npos && dot > 0) {
            return appExeName_.substr(0, dot);
        }
    }
    return appExeName_;
}

std::u16string CommandLine::Argument(int32_t Which) const {
    if (Which < 0 || Which > Arguments()) {
        return {};
    }
    return args_[static_cast<size_t>(Which)];
}

// The flag queries. Element 0, the program, is never examined.

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
