#include "cmdline/split_by_tokenizer.h"

#include <algorithm>
#include <iterator>

#include "cmdline/tokenize.h"
#include "common/trim_spaces.h"

namespace folio {

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

}  // namespace folio
