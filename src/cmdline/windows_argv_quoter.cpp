#include "cmdline/windows_argv_quoter.h"

#include <algorithm>
#include <iterator>

namespace folio {
namespace {

constexpr std::u16string_view kBlanks = u" \t";

void AppendProgram(std::u16string& line, const std::u16string& program) {
    const bool plain = !program.empty() && program.front() != u'"' &&
                       program.find_first_of(kBlanks) == std::u16string::npos;
    if (plain) {
        line += program;
        return;
    }
    line.push_back(u'"');
    std::copy_if(program.begin(), program.end(), std::back_inserter(line),
                 [](char16_t c) { return c != u'"'; });
    line.push_back(u'"');
}

void AppendArgument(std::u16string& line, const std::u16string& arg) {
    if (!arg.empty() && arg.find_first_of(u" \t\"") == std::u16string::npos) {
        line += arg;  // backslashes not followed by a quote stay literal
        return;
    }
    line.push_back(u'"');
    for (size_t pos = 0;;) {
        size_t run = 0;
        while (pos < arg.size() && arg[pos] == u'\\') {
            ++run;
            ++pos;
        }
        if (pos == arg.size()) {
            // Doubled, so that the closing quote still acts.
            line.append(run * 2, u'\\');
            break;
        }
        if (arg[pos] == u'"') {
            line.append(run * 2 + 1, u'\\');
        } else {
            line.append(run, u'\\');
        }
        line.push_back(arg[pos++]);
    }
    line.push_back(u'"');
}

}  // namespace

std::u16string QuoteWindowsCommandLine(const std::vector<std::u16string>& argv) {
    std::u16string line;
    for (size_t i = 0; i < argv.size(); ++i) {
        if (i == 0) {
            AppendProgram(line, argv[i]);
        } else {
            line.push_back(u' ');
            AppendArgument(line, argv[i]);
        }
    }
    return line;
}

}  // namespace folio
