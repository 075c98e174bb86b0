#include "platform/posix/posix_command_line_source.h"

#include <filesystem>
#include <system_error>

#include "cmdline/windows_argv.h"
#include "common/utf8.h"

namespace folio::posix {
namespace {

std::u16string ReadExecutablePath() {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::u16string() : FromUtf8(target.native());
}

// argv may be empty (a process started with no argv at all); it ends early at a
// null entry rather than read one.
std::vector<std::string> ArgvStrings(int argc, const char* const* argv) {
    std::vector<std::string> strings;
    for (int i = 0; argv != nullptr && i < argc && argv[i] != nullptr; ++i) {
        strings.emplace_back(argv[i]);
    }
    return strings;
}

}  // namespace

PosixCommandLineSource::PosixCommandLineSource(int argc, const char* const* argv)
    : PosixCommandLineSource(ArgvStrings(argc, argv)) {}

PosixCommandLineSource::PosixCommandLineSource(const std::vector<std::string>& argv)
    : executablePath_(ReadExecutablePath()) {
    ArgVector wide;
    wide.reserve(argv.size());
    for (const std::string& arg : argv) {
        wide.push_back(FromUtf8(arg));
    }
    line_ = QuoteWindowsCommandLine(wide);
}

std::optional<CommandLineSource::ArgVector> PosixCommandLineSource::SplitCommandLine(
    std::u16string_view line) {
    // Without /proc the executable's path is unknown; the platform's splitter
    // fails in that case rather than invent one.
    if (line.empty() && executablePath_.empty()) {
        return std::nullopt;
    }
    return SplitWindowsCommandLine(line, executablePath_);
}

}  // namespace folio::posix
