#pragma once

#include <string>
#include <vector>

namespace folio::convert {

// `info [--json] FILE...`: each file's format and pages. Every file is reported,
// readable or not; the result is non-zero when any could not be opened.
int RunInfo(const std::vector<std::string>& args);

}  // namespace folio::convert
