#include "cmdline/command_line.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "common/error_numbers.h"
#include "support/fake_command_line_source.h"

namespace folio {
namespace {

using Args = std::vector<std::u16string>;
using fakes::FakeCommandLineSource;
constexpr int32_t kNt = CommandLineSource::kNtFamily;
constexpr int32_t kOther = 1;  // the Windows 9x family; 0 (a failed query) acts the same

struct LineCase {
    std::u16string line;
    Args expected;  // element 0 and then the arguments
};

// Every element, the count, ToString and both out-of-range positions.
void ExpectArguments(const CommandLine& cl, const LineCase& c) {
    SCOPED_TRACE(testing::PrintToString(c.line));
    EXPECT_EQ(cl.ToString(), c.line);
    ASSERT_EQ(cl.Arguments(), static_cast<int32_t>(c.expected.size()) - 1);
    for (size_t i = 0; i < c.expected.size(); ++i) {
        EXPECT_EQ(cl.Argument(static_cast<int32_t>(i)), c.expected[i]) << "element " << i;
    }
    EXPECT_EQ(cl.Argument(-1), u"");
    EXPECT_EQ(cl.Argument(cl.Arguments() + 1), u"");
}

TEST(CommandLineNt, FoldsAllArgumentsIntoArgumentOne) {
    const std::u16string self = u"C:\\Tools\\app.exe";
    const LineCase cases[] = {
        {u"\"C:\\Tools\\app.exe\"", {self, u""}},
        {u"app", {self, u""}},
        {u"app.exe assoc reg", {self, u"assoc reg"}},
        {u"app \"C:\\My Docs\\a b.mdi\"", {self, u"C:\\My Docs\\a b.mdi"}},
        {u"app C:\\My Docs\\a b.mdi", {self, u"C:\\My Docs\\a b.mdi"}},
        {u"app C:\\My  Docs\\a.mdi", {self, u"C:\\My Docs\\a.mdi"}},
        {u"app a \"\" b", {self, u"a  b"}},
        {u"  \"quoted  spacing\"  kept ", {self, u"quoted  spacing kept"}},
        {u"", {self, u""}},
    };
    for (const auto& c : cases) {
        FakeCommandLineSource source(c.line, kNt);
        const CommandLine cl(source, PlatformTraits::Windows());
        ExpectArguments(cl, c);
        EXPECT_EQ(cl.AppPath(), u"C:\\Tools\\");
        EXPECT_EQ(cl.AppExeName(), u"app.exe");
    }
}

TEST(CommandLineNt, SplitsTwiceAndReleasesEachSplitOnce) {
    FakeCommandLineSource source(u"app x", kNt);
    CommandLine cl(source, PlatformTraits::Windows());
    EXPECT_EQ(source.calls, (Args{u"split:app x", u"release", u"split:", u"release"}));

    source.failLineSplit = true;
    cl.Refresh();
    EXPECT_EQ(source.calls.size(), 8u);
    EXPECT_EQ(source.calls[5], u"release:null");
    ExpectArguments(cl, {u"app x", {u"C:\\Tools\\app.exe", u""}});

    source.failEmptySplit = true;
    cl.Refresh();
    EXPECT_EQ(source.calls.back(), u"release:null");
    EXPECT_EQ(cl.Argument(0), u"");
    EXPECT_EQ(cl.AppPath(), u"");
    EXPECT_EQ(cl.Arguments(), 1);
}

TEST(CommandLineNt, ExecutablePathIsTrimmedOfSpaces) {
    FakeCommandLineSource source(u"app", kNt, u"  C:\\A B\\app.exe ");
    const CommandLine cl(source, PlatformTraits::Windows());
    EXPECT_EQ(cl.Argument(0), u"C:\\A B\\app.exe");
}

TEST(CommandLineOther, EachSpaceSeparatedWordIsAnArgument) {
    const LineCase cases[] = {
        {u"\"C:\\Tools\\app.exe\" assoc reg", {u"C:\\Tools\\app.exe", u"assoc", u"reg"}},
        {u"app", {u"app"}},
        {u"app    ", {u"app"}},
        {u"app   a    b   ", {u"app", u"a", u"b"}},
        {u"", {u""}},
        {u"app \"a b\"", {u"app", u"\"a", u"b\""}},
        {u"app a\tb", {u"app", u"a\tb"}},
        {u"\"my app\"", {u"my app"}},
        {u"\"my app\"x y", {u"my app", u"x", u"y"}},
        {u"  x y", {u"", u"x", u"y"}},  // a leading space ends an empty program token
        {u"\"C:\\my app.exe x", {u"C:\\my app.exe x"}},  // unclosed: the rest of the line
        {u"\"", {u""}},
    };
    for (const auto& c : cases) {
        FakeCommandLineSource source(c.line, kOther);
        const CommandLine cl(source, PlatformTraits::Windows());
        ExpectArguments(cl, c);
        EXPECT_TRUE(source.calls.empty());
    }
}

TEST(CommandLineOther, EmptyLineHasNoProgramNameOrFolder) {
    FakeCommandLineSource source(u"", 0);
    const CommandLine cl(source, PlatformTraits::Windows());
    EXPECT_EQ(cl.Arguments(), 0);
    EXPECT_EQ(cl.Argument(0), u"");
    EXPECT_EQ(cl.AppExeName(), u"");
    EXPECT_EQ(cl.AppPath(), u"");
}

TEST(CommandLineOther, TooManyArgumentsOverflowAndRefreshKeepsTheOldAnswers) {
    std::u16string line = u"app";
    for (int i = 0; i < 32767; ++i) {
        line += u" a";
    }
    FakeCommandLineSource source(line, kOther);
    CommandLine cl(source, PlatformTraits::Windows());
    EXPECT_EQ(cl.Arguments(), 32767);

    source.SetLine(line + u" b");
    try {
        cl.Refresh();
        FAIL() << "no overflow";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errors::kOverflow);
    }
    EXPECT_EQ(cl.Arguments(), 32767);
    EXPECT_EQ(cl.ToString(), line);
    EXPECT_THROW(CommandLine(source, PlatformTraits::Windows()), Error);
}

TEST(CommandLine, RefreshRereadsButKeepsCaseSensitivity) {
    FakeCommandLineSource source(u"app one", kOther);
    CommandLine cl(source, PlatformTraits::Windows());
    EXPECT_FALSE(cl.CaseSensitive());
    cl.CaseSensitive(true);
    source.SetLine(u"C:\\bin\\b.exe two three");
    cl.Refresh();
    EXPECT_TRUE(cl.CaseSensitive());
    ExpectArguments(cl, {u"C:\\bin\\b.exe two three", {u"C:\\bin\\b.exe", u"two", u"three"}});
    EXPECT_EQ(cl.AppPath(), u"C:\\bin\\");
}

// Program name and folder, on both families, with either separator.
TEST(CommandLine, ProgramNameAndFolderFollowThePlatformSeparator) {
    struct Case {
        std::u16string program;
        bool posix;
        std::u16string path, name, base;
    };
    const Case cases[] = {
        {u"C:\\Tools\\app.exe", false, u"C:\\Tools\\", u"app.exe", u"app"},
        {u"C:\\Tools\\my.app.exe", false, u"C:\\Tools\\", u"my.app.exe", u"my.app"},
        {u"C:\\Tools\\app", false, u"C:\\Tools\\", u"app", u"app"},
        {u"C:\\Users\\me\\.profile", false, u"C:\\Users\\me\\", u".profile", u".profile"},
        {u"app.exe", false, u"", u"app.exe", u"app"},
        {u"C:\\x.d\\app", false, u"C:\\x.d\\", u"app", u"app"},
        {u"/usr/bin/app.x", false, u"", u"/usr/bin/app.x", u"/usr/bin/app"},
        {u"/usr/bin/foliolens", true, u"/usr/bin/", u"foliolens", u"foliolens"},
        {u"/opt/my.app/run.sh", true, u"/opt/my.app/", u"run.sh", u"run"},
        {u"C:\\Tools\\app.exe", true, u"", u"C:\\Tools\\app.exe", u"C:\\Tools\\app"},
    };
    for (const auto& c : cases) {
        const PlatformTraits traits =
            c.posix ? PlatformTraits::Posix(u"/home/u") : PlatformTraits::Windows();
        FakeCommandLineSource nt(u"ignored", kNt, c.program);
        FakeCommandLineSource other(u"\"" + c.program + u"\" x", kOther);
        for (const CommandLine& cl : {CommandLine(nt, traits), CommandLine(other, traits)}) {
            SCOPED_TRACE(testing::PrintToString(c.program));
            EXPECT_EQ(cl.Argument(0), c.program);
            EXPECT_EQ(cl.AppPath(), c.path);
            EXPECT_EQ(cl.AppExeName(), c.name);
            EXPECT_EQ(cl.AppExeName(false), c.name);
            EXPECT_EQ(cl.AppExeName(true), c.base);
        }
    }
}

}  // namespace
}  // namespace folio
