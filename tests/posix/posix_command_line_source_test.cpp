#include "platform/posix/posix_command_line_source.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "cmdline/command_line.h"
#include "common/utf8.h"

namespace folio::posix {
namespace {

std::vector<std::u16string> Wide(const std::vector<std::string>& argv) {
    std::vector<std::u16string> wide;
    for (const auto& arg : argv) {
        wide.push_back(FromUtf8(arg));
    }
    return wide;
}

// What the start-up sees for the argv a shell or a file manager hands over.
TEST(PosixCommandLineSource, ArgvArrivesWholeOnTheNtPath) {
    struct Case {
        std::vector<std::string> argv;
        std::u16string argument1;
        std::u16string assoc;
    };
    const Case cases[] = {
        {{"foliolens"}, u"", u""},
        {{"/usr/bin/foliolens", "/home/u/My Docs/a  b.mdi"}, u"/home/u/My Docs/a  b.mdi", u""},
        {{"foliolens", "assoc", "reg"}, u"assoc reg", u"reg"},
        {{"foliolens", "assoc:unreg"}, u"assoc:unreg", u"unreg"},
        {{"foliolens",
          "/tmp/\xC3\xBC"
          "ber \"x\".mdi"},
         u"/tmp/\u00fcber \"x\".mdi",
         u""},
        {{"./fl", "tab\there", "end\\", "\\\"q\\\\", ""}, u"tab\there end\\ \\\"q\\\\ ", u""},
        {{"", "x"}, u"x", u""},
        // Bytes that are not UTF-8 are kept, to be found again on disk.
        {{"foliolens", "/tmp/scan\xFF.mdi"}, u"/tmp/scan\xDCFF.mdi", u""},
        {{"foliolens", "/tmp/\xC0\xAF.mdi"}, u"/tmp/\xDCC0\xDCAF.mdi", u""},
    };
    for (const auto& c : cases) {
        PosixCommandLineSource source(c.argv);
        EXPECT_EQ(source.SplitCommandLine(source.CommandLineText()), Wide(c.argv));
        const CommandLine cl(source, PlatformTraits::Posix(u"/home/u"));
        EXPECT_EQ(cl.Arguments(), 1);
        EXPECT_EQ(cl.Argument(1), c.argument1);
        EXPECT_EQ(cl.FlaggedArg(u"assoc"), c.assoc);
        EXPECT_EQ(cl.AppExeName(), u"posix_tests");
    }
}

TEST(PosixCommandLineSource, ProgramIsTheRunningExecutable) {
    const char* argv[] = {"renamed", "x"};
    PosixCommandLineSource source(2, argv);
    const CommandLine cl(source, PlatformTraits::Posix(u"/home/u"));
    const std::u16string self = source.ExecutablePath();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(self.front(), u'/');
    EXPECT_EQ(cl.Argument(0), self);
    EXPECT_EQ(cl.AppPath() + cl.AppExeName(), self);
    EXPECT_EQ(cl.AppPath().back(), u'/');
    EXPECT_EQ(source.SplitCommandLine(u""), std::vector<std::u16string>{self});
    EXPECT_EQ(source.PlatformFamily(), CommandLineSource::kNtFamily);

    // No argv at all: an empty line, whose split still names the executable.
    const char* none[] = {nullptr};
    PosixCommandLineSource empty(3, none);
    const CommandLine bare(empty, PlatformTraits::Posix(u"/home/u"));
    EXPECT_EQ(bare.ToString(), u"");
    EXPECT_EQ(bare.Argument(0), self);
    EXPECT_EQ(bare.Arguments(), 1);
    EXPECT_EQ(bare.Argument(1), u"");
}

// This very process's argv, as the kernel keeps it.
TEST(PosixCommandLineSource, OwnProcessArgvRoundTrips) {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string raw{std::istreambuf_iterator<char>(file), {}};
    std::vector<std::string> argv;
    for (size_t start = 0; start < raw.size();) {
        const size_t end = raw.find('\0', start);
        argv.push_back(raw.substr(start, end - start));
        start = end == std::string::npos ? raw.size() : end + 1;
    }
    ASSERT_FALSE(argv.empty());
    std::vector<const char*> pointers;
    for (const auto& arg : argv) {
        pointers.push_back(arg.c_str());
    }
    PosixCommandLineSource source(static_cast<int>(pointers.size()), pointers.data());
    EXPECT_EQ(source.SplitCommandLine(source.CommandLineText()), Wide(argv));
}

}  // namespace
}  // namespace folio::posix
