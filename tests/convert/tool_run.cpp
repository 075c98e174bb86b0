#include "convert/tool_run.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/temp_dir.h"

namespace folio::convert::testing {
namespace {

std::string Quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

int ToolResult::ErrLines() const {
    return static_cast<int>(std::count(err.begin(), err.end(), '\n'));
}

ToolResult RunTool(const std::vector<std::string>& args, const std::vector<std::string>& wrapper) {
    engine::testing::TempDir capture;
    std::string command;
    for (const std::string& arg : wrapper) {
        command += Quote(arg) + " ";
    }
    if (wrapper.empty()) {
        command = Quote(FOLIO_CONVERT_TOOL);
    }
    for (const std::string& arg : args) {
        command += " " + Quote(arg);
    }
    command += " </dev/null >" + Quote(capture.File("out")) + " 2>" + Quote(capture.File("err"));
    const int raw = std::system(command.c_str());
    ToolResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = Slurp(capture.File("out"));
    result.err = Slurp(capture.File("err"));
    return result;
}

}  // namespace folio::convert::testing
