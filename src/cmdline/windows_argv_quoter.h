#pragma once

#include <string>
#include <vector>

namespace folio {

// Builds the command line that SplitWindowsCommandLine turns back into argv.
// Arguments are quoted only where needed. The program name cannot carry a double
// quote together with a blank or a leading quote under the splitting rules; such
// a name loses its quotes (the arguments after it still come back exactly).
std::u16string QuoteWindowsCommandLine(const std::vector<std::u16string>& argv);

}  // namespace folio
