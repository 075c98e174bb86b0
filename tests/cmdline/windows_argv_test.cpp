#include <gtest/gtest.h>

#include <random>

#include "cmdline/windows_argv.h"

namespace folio {
namespace {

using Args = std::vector<std::u16string>;
constexpr std::u16string_view kSelf = u"C:\\X\\self.exe";

struct SplitCase {
    std::u16string line;
    Args expected;
};

TEST(WindowsArgvSplitter, FollowsThePublishedRules) {
    const SplitCase cases[] = {
        {u"", {u"C:\\X\\self.exe"}},
        {u"app", {u"app"}},
        {u"  ", {u""}},
        {u"app a b", {u"app", u"a", u"b"}},
        {u"app\ta  \t b \t", {u"app", u"a", u"b"}},
        {u"\"C:\\Program Files\\app.exe\" x", {u"C:\\Program Files\\app.exe", u"x"}},
        {u"\"C:\\dir\\\" x", {u"C:\\dir\\", u"x"}},  // no escapes in the program name
        {u"a\\\"b c", {u"a\\\"b", u"c"}},
        {u"\"unclosed prog", {u"unclosed prog"}},
        {u"\"a\"b c", {u"a", u"b", u"c"}},
        {u"app \"a b\" c", {u"app", u"a b", u"c"}},
        {u"app \"\" b", {u"app", u"", u"b"}},
        {u"app a\"b c\"d", {u"app", u"ab cd"}},
        {u"app a\\\\b c\\", {u"app", u"a\\\\b", u"c\\"}},
        {u"app a\\\\\"b\"", {u"app", u"a\\b"}},
        {u"app a\\\"b", {u"app", u"a\"b"}},
        {u"app a\\\\\\\"b", {u"app", u"a\\\"b"}},
        {u"app \"a\\\\\" b", {u"app", u"a\\", u"b"}},
        {u"app \"unclosed arg", {u"app", u"unclosed arg"}},
        {u"app \"a\"\"b\"", {u"app", u"ab"}},
        {std::u16string(u"app a\0b c", 9), {u"app", u"a"}},
        {u"app \u00fcber \u20ac\U0001F4C4", {u"app", u"\u00fcber", u"\u20ac\U0001F4C4"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitWindowsCommandLine(c.line, kSelf), c.expected)
            << "line: " << testing::PrintToString(c.line);
    }
}

TEST(WindowsArgvQuoter, ProgramNameWithQuoteAndBlankLosesOnlyItsQuotes) {
    EXPECT_EQ(QuoteWindowsCommandLine({u"my \"prog", u"a b"}), u"\"my prog\" \"a b\"");
    EXPECT_EQ(QuoteWindowsCommandLine({u"\"lead", u"x"}), u"\"lead\" x");
    EXPECT_EQ(QuoteWindowsCommandLine({}), u"");
}

// Random argv vectors built from the characters the rules treat specially.
Args RandomArgv(std::mt19937& rng) {
    static const std::u16string alphabet = u"ab \t\"\\\u00fc\u20ac\xD83D\xDCC4";
    std::uniform_int_distribution<size_t> count(1, 6), length(0, 8), pick(0, alphabet.size() - 1);
    Args argv(count(rng));
    for (size_t i = 0; i < argv.size(); ++i) {
        for (size_t n = length(rng); n > 0; --n) {
            const char16_t c = alphabet[pick(rng)];
            if (i > 0 || c != u'"') {  // a program name never holds a quote
                argv[i].push_back(c);
            }
        }
    }
    return argv;
}

TEST(WindowsArgvQuoter, SplittingTheQuotedLineGivesArgvBack) {
    std::mt19937 rng(20261207);
    for (int i = 0; i < 20000; ++i) {
        const Args argv = RandomArgv(rng);
        const std::u16string line = QuoteWindowsCommandLine(argv);
        ASSERT_EQ(SplitWindowsCommandLine(line, kSelf), argv)
            << "line: " << testing::PrintToString(line);
    }
}

}  // namespace
}  // namespace folio
