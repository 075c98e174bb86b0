#pragma once

#include <string>
#include <vector>

#include "cmdline/windows_argv.h"
#include "platform/command_line_source.h"

namespace folio::fakes {

// A process with a given command line and platform family. Splits by our Windows
// rules, can be told to fail, and logs every split and release in order.
class FakeCommandLineSource : public CommandLineSource {
  public:
    FakeCommandLineSource(std::u16string line, int32_t family,
                          std::u16string executable = u"C:\\Tools\\app.exe")
        : line_(std::move(line)), family_(family), executable_(std::move(executable)) {}

    std::u16string CommandLineText() const override { return line_; }
    int32_t PlatformFamily() const override { return family_; }
    std::optional<ArgVector> SplitCommandLine(std::u16string_view line) override {
        calls.push_back(u"split:" + std::u16string(line));
        if (line.empty() ? failEmptySplit : failLineSplit) {
            return std::nullopt;
        }
        return SplitWindowsCommandLine(line, executable_);
    }
    void ReleaseSplit(const std::optional<ArgVector>& split) override {
        calls.push_back(split ? u"release" : u"release:null");
    }

    void SetLine(std::u16string line) { line_ = std::move(line); }

    bool failLineSplit = false;
    bool failEmptySplit = false;
    std::vector<std::u16string> calls;

  private:
    std::u16string line_;
    int32_t family_;
    std::u16string executable_;
};

}  // namespace folio::fakes
