#include <gtest/gtest.h>

#include "cmdline/command_line_split.h"
#include "common/error.h"
#include "common/error_numbers.h"

namespace folio {
namespace {

using Args = std::vector<std::u16string>;

TEST(Tokenize, SplitsAtDelimitersWithoutEmptyTokens) {
    struct Case {
        std::u16string text, delimiters;
        Args expected;
    };
    const Case cases[] = {
        {u"a b", u" ", {u"a", u"b"}},           {u"   a    b   ", u" ", {u"a", u"b"}},
        {u"\"a b\"", u" ", {u"\"a", u"b\""}},   {u"a\tb", u" ", {u"a\tb"}},
        {u"a,b;;c", u",;", {u"a", u"b", u"c"}}, {u"a b", u"", {u"a b"}},
    };
    for (const auto& c : cases) {
        Args tokens{u"old", u"old", u"old", u"old"};
        EXPECT_EQ(Tokenize(c.text, tokens, c.delimiters), static_cast<int16_t>(c.expected.size()));
        EXPECT_EQ(tokens, c.expected) << testing::PrintToString(c.text);
    }
}

TEST(Tokenize, LeavesTheArrayAloneWhenThereIsNoToken) {
    Args tokens{u"kept"};
    EXPECT_EQ(Tokenize(u"    ", tokens), 0);
    EXPECT_EQ(Tokenize(u"", tokens), 0);
    EXPECT_EQ(tokens, Args{u"kept"});
}

std::u16string Words(int count) {
    std::u16string text;
    for (int i = 0; i < count; ++i) {
        text += u"w ";
    }
    return text;
}

TEST(Tokenize, CountIsSixteenBitAndOverflowsAtToken32768) {
    Args tokens;
    EXPECT_EQ(Tokenize(Words(32767), tokens), 32767);
    EXPECT_EQ(tokens.size(), 32767u);
    try {
        Tokenize(Words(32768), tokens);
        FAIL() << "no overflow";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errors::kOverflow);
    }
}

}  // namespace
}  // namespace folio
