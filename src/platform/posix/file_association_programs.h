#pragma once

#include <string>
#include <vector>

namespace folio::posix {

// Runs a program found on PATH with the given arguments (no shell: each argument is
// passed as it is), its output sent to /dev/null, and waits for it. Returns its exit
// status, or -1 when it is not installed or could not be started or was killed.
int RunIfPresent(const std::vector<std::string>& argv);

}  // namespace folio::posix
