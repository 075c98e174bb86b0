#pragma once

#include <string>
#include <vector>

#include "platform/command_line_source.h"

namespace folio::posix {

// The process command line on POSIX, presented as the NT family presents it:
// argv is joined into one line with each argument quoted by the Windows rules
// where needed, so that splitting the line gives argv back exactly; the
// executable's full path comes from /proc/self/exe.
class PosixCommandLineSource : public CommandLineSource {
  public:
    // argv as main() receives it (UTF-8 bytes; malformed bytes become U+FFFD).
    PosixCommandLineSource(int argc, const char* const* argv);
    explicit PosixCommandLineSource(const std::vector<std::string>& argv);

    std::u16string CommandLineText() const override { return line_; }
    int32_t PlatformFamily() const override { return kNtFamily; }
    std::optional<ArgVector> SplitCommandLine(std::u16string_view line) override;
    void ReleaseSplit(const std::optional<ArgVector>&) override {}

    // The running executable's full path; empty when it cannot be found.
    const std::u16string& ExecutablePath() const { return executablePath_; }

  private:
    std::u16string line_;
    std::u16string executablePath_;
};

}  // namespace folio::posix
