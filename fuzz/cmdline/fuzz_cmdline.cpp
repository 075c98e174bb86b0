// Arbitrary UTF-16 command lines through both ways of splitting and the flag
// queries. Checks: element 0 is always present, the NT family always gives one
// argument, and splitting is the inverse of quoting for whatever a split yields.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cmdline/command_line.h"
#include "cmdline/windows_argv.h"
#include "common/error.h"
#include "support/fake_command_line_source.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void Query(const folio::CommandLine& cl, std::u16string_view flag) {
    Check(cl.Arguments() >= 0);
    Check(cl.Argument(cl.Arguments() + 1).empty() && cl.Argument(-1).empty());
    const std::u16string value = cl.FlaggedArg(flag);
    const int32_t position = cl.FlagPresent(flag);
    Check(position >= 0 && position <= cl.Arguments());
    Check(cl.FlagPresentFromList({flag, 1, 2.5, true}) ==
          (position != 0 || cl.FlagPresentFromList({1, 2.5, true})));
    Check(cl.AppExeName(true).size() <= cl.AppExeName().size());
    Check(value.size() <= cl.ToString().size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    // Byte 0 picks the family, byte 1 the length of the flag taken from the line.
    const int32_t family = data[0] % 3;
    const size_t flagLength = data[1] % 8;
    std::u16string line;
    for (size_t i = 2; i + 1 < size; i += 2) {
        line.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }

    const auto split = folio::SplitWindowsCommandLine(line, u"C:\\Tools\\app.exe");
    Check(!split.empty());
    Check(folio::SplitWindowsCommandLine(folio::QuoteWindowsCommandLine(split), u"") == split);

    folio::fakes::FakeCommandLineSource source(line, family);
    const folio::PlatformTraits traits = data[0] & 0x80 ? folio::PlatformTraits::Posix(u"/home/u")
                                                        : folio::PlatformTraits::Windows();
    try {
        folio::CommandLine cl(source, traits);
        Check(family != folio::CommandLineSource::kNtFamily || cl.Arguments() == 1);
        Query(cl, std::u16string_view(line).substr(0, flagLength));
        cl.CaseSensitive(true);
        Query(cl, u"assoc");
    } catch (const folio::Error&) {
        // Only the tokenizer's argument count may overflow.
        Check(family != folio::CommandLineSource::kNtFamily);
    }
    return 0;
}
