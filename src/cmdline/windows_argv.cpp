// The Windows command-line rules: splitting a line into argv, quoting argv into a line.
#include "cmdline/windows_argv.h"

#include <algorithm>
#include <iterator>

namespace folio {
namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// Reads the program name from the start of the line; returns where it stopped.
size_t ReadProgram(std::u16string_view line, std::u16string& program) {
    if (line.front() == u'"') {
        // No escapes here: the name ends at the next quote, or with the line.
        const size_t close = line.find(u'"', 1);
        const size_t end = close == std::u16string_view::npos ? line.size() : close;
        program.assign(line.substr(1, end - 1));
        return end == line.size() ? end : end + 1;
    }
    size_t end = 0;
    while (end < line.size() && !IsBlank(line[end])) {
        ++end;
    }
    program.assign(line.substr(0, end));
    return end;
}

// Reads one argument starting at a non-blank character; returns where it stopped.
size_t ReadArgument(std::u16string_view line, size_t pos, std::u16string& arg) {
    bool quoted = false;
    while (pos < line.size()) {
        const char16_t c = line[pos];
        if (IsBlank(c) && !quoted) {
            break;
        }
        if (c == u'\\') {
            size_t run = 0;
            while (pos < line.size() && line[pos] == u'\\') {
                ++run;
                ++pos;
            }
            if (pos < line.size() && line[pos] == u'"') {
                arg.append(run / 2, u'\\');
                if (run % 2 == 1) {
                    arg.push_back(u'"');
                    ++pos;
                }
                // With an even run the quote is left to act on the next turn.
            } else {
                arg.append(run, u'\\');
            }
        } else if (c == u'"') {
            quoted = !quoted;
            ++pos;
        } else {
            arg.push_back(c);
            ++pos;
        }
    }
    return pos;
}

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

std::vector<std::u16string> SplitWindowsCommandLine(std::u16string_view line,
                                                    std::u16string_view executablePath) {
    line = line.substr(0, line.find(u'\0'));
    if (line.empty()) {
        return {std::u16string(executablePath)};
    }
    std::vector<std::u16string> args(1);
    size_t pos = ReadProgram(line, args.front());
    for (;;) {
        while (pos < line.size() && IsBlank(line[pos])) {
            ++pos;
        }
        if (pos == line.size()) {
            break;
        }
        pos = ReadArgument(line, pos, args.emplace_back());
    }
    return args;
}

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
