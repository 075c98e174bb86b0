#pragma once

#include <string>
#include <vector>

namespace folio::convert::testing {

struct ToolResult {
    int status = -1;
    std::string out;
    std::string err;

    // Lines written to standard error.
    int ErrLines() const;
};

// Runs the built foliolens-convert with `args` (stdin from /dev/null), capturing
// its exit status and both output streams. With `wrapper`, that command line runs
// instead, the tool's arguments appended.
ToolResult RunTool(const std::vector<std::string>& args,
                   const std::vector<std::string>& wrapper = {});

}  // namespace folio::convert::testing
