#pragma once

// The Windows command-line rules both ways: splitting a line into argv as the
// published rules do, and quoting argv into a line that splits back into it.

#include <string>
#include <string_view>
#include <vector>

namespace folio {

// Splits a command line by the published Windows rules: spaces and tabs separate
// arguments; double quotes group and are removed; 2n backslashes before a quote
// give n backslashes and the quote acts, 2n+1 give n and a literal quote;
// backslashes elsewhere are literal. Element 0, the program, ends at the next
// quote when it opens with one and at the first space or tab otherwise. The line
// ends at its first NUL, as a zero-terminated one would; an empty line gives
// executablePath alone.
std::vector<std::u16string> SplitWindowsCommandLine(std::u16string_view line,
                                                    std::u16string_view executablePath);

// Builds the command line that SplitWindowsCommandLine turns back into argv.
// Arguments are quoted only where needed. The program name cannot carry a double
// quote together with a blank or a leading quote under the splitting rules; such
// a name loses its quotes (the arguments after it still come back exactly).
std::u16string QuoteWindowsCommandLine(const std::vector<std::u16string>& argv);

}  // namespace folio
