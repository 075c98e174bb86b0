#include "cmdline/command_line.h"

#include "cmdline/split_by_system.h"
#include "cmdline/split_by_tokenizer.h"

namespace folio {

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

}  // namespace folio
