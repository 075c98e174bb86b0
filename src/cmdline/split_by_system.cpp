#include "cmdline/split_by_system.h"

#include "common/trim_spaces.h"

namespace folio {
namespace {

// A split element is read as a zero-terminated string.
std::u16string_view UpToNul(const std::u16string& element) {
    const std::u16string_view text(element);
    return text.substr(0, text.find(u'\0'));
}

}  // namespace

std::vector<std::u16string> SplitBySystem(std::u16string_view line, CommandLineSource& source) {
    std::vector<std::u16string> args;
    const auto split = source.SplitCommandLine(line);
    if (split) {
        args.resize(split->size());
        for (size_t i = 1; i < split->size(); ++i) {
            args[i] = UpToNul((*split)[i]);
            if (i >= 2) {
                args[1].push_back(u' ');
                args[1] += args[i];
            }
        }
    }
    args.resize(2);
    source.ReleaseSplit(split);

    const auto self = source.SplitCommandLine(u"");
    if (self) {
        std::u16string program;
        for (const auto& element : *self) {
            program += UpToNul(element);
            program.push_back(u' ');
        }
        args[0] = TrimSpaces(program);
    }
    source.ReleaseSplit(self);
    return args;
}

}  // namespace folio
