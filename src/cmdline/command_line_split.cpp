// Splitting the raw line into the argument list: by the system and by the tokenizer.
#include "cmdline/command_line_split.h"

#include <algorithm>
#include <iterator>
#include <limits>

#include "common/error.h"
#include "common/error_numbers.h"
#include "common/text.h"

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

std::vector<std::u16string> SplitByTokenizer(std::u16string_view line) {
    // `end` counts the code units the program token used up, its closing quote
    // or the first space included.
    std::u16string program;
    size_t end = 0;
    if (!line.empty() && line.front() == u'"') {
        const size_t close = line.find(u'"', 1);
        if (close == std::u16string_view::npos) {
            program.assign(line.substr(1));
            end = line.size();
        } else {
            program.assign(line.substr(1, close - 1));
            end = close + 1;
        }
    } else {
        const size_t space = line.find(u' ');
        program.assign(line.substr(0, space));
        end = space == std::u16string_view::npos ? line.size() : space + 1;
    }

    std::vector<std::u16string> args{std::move(program)};
    std::vector<std::u16string> tokens;
    if (TrimSpaces(line).size() > end && Tokenize(line.substr(end), tokens) > 0) {
        args.reserve(tokens.size() + 1);
        std::move(tokens.begin(), tokens.end(), std::back_inserter(args));
    }
    return args;
}

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
