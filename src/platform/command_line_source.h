#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace folio {

// What the command-line object learns about the running process, under the
// names of the Windows calls it stands for. A Windows adapter maps them one to
// one; the POSIX adapter synthesises them from argv.
class CommandLineSource {
  public:
    using ArgVector = std::vector<std::u16string>;

    // The platform family that splits with the platform's own splitter.
    static constexpr int32_t kNtFamily = 2;

    virtual ~CommandLineSource() = default;

    // GetCommandLineW: the whole command line, quotes and spacing as typed.
    virtual std::u16string CommandLineText() const = 0;

    // GetVersionExA's platform identifier; 0 when the query fails.
    virtual int32_t PlatformFamily() const = 0;

    // CommandLineToArgvW: element 0 is the program; an empty line gives the
    // executable's full path alone. Null when the split fails.
    virtual std::optional<ArgVector> SplitCommandLine(std::u16string_view line) = 0;

    // GlobalFree on a split's result, made once after every split, null or not.
    virtual void ReleaseSplit(const std::optional<ArgVector>& split) = 0;
};

}  // namespace folio
