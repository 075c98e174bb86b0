#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "cmdline/command_line.h"
#include "common/error.h"
#include "common/error_numbers.h"
#include "support/fake_command_line_source.h"

namespace folio {
namespace {

using fakes::FakeCommandLineSource;
constexpr int32_t kNt = CommandLineSource::kNtFamily;
constexpr int32_t kOther = 1;
constexpr int32_t kFamilies[] = {kNt, kOther};

// The program with the given arguments typed after it.
CommandLine Typed(FakeCommandLineSource& source) {
    return CommandLine(source, PlatformTraits::Windows());
}

TEST(FlaggedArg, AssocOnBothFamilies) {
    struct Row {
        std::u16string typed, nt, other;
    };
    const Row rows[] = {
        {u"assoc reg", u"reg", u"reg"},
        {u"assoc unreg", u"unreg", u"unreg"},
        {u"ASSOC reg", u"reg", u"reg"},
        {u"assoc:reg", u"reg", u"reg"},
        {u"assoc: reg", u" reg", u":"},
        {u"assocreg", u"reg", u"reg"},
        {u"assoc reg extra", u"reg extra", u"reg"},
        {u"/x assoc reg", u"", u"reg"},
        {u"assoc", u"", u""},
        {u"assoc:", u":", u":"},
        {u"C:\\docs\\scan.mdi", u"", u""},
        {u"\"C:\\My Docs\\assoc reg.mdi\"", u"", u""},
    };
    for (const auto& row : rows) {
        for (const int32_t family : kFamilies) {
            FakeCommandLineSource source(u"C:\\Tools\\app.exe " + row.typed, family);
            EXPECT_EQ(Typed(source).FlaggedArg(u"assoc"), family == kNt ? row.nt : row.other)
                << testing::PrintToString(row.typed) << " family " << family;
        }
    }
}

struct QueryCase {
    int32_t family;
    std::u16string typed;
    std::u16string flag;
    bool caseSensitive;
    std::u16string value;  // FlaggedArg
    int32_t position;      // FlagPresent
};

TEST(FlagQueries, MatchingRules) {
    const QueryCase cases[] = {
        {kNt, u"ASSOC reg", u"assoc", true, u"", 0},
        {kOther, u"ASSOC reg", u"assoc", true, u"", 0},
        {kOther, u"assoc reg", u"assoc", true, u"reg", 1},
        {kNt, u"assoc", u"a", false, u"ssoc", 0},
        {kOther, u"/a /b", u"/a", false, u"/b", 1},
        {kOther, u"/v:1 /v:2 /v", u"/v", false, u"1", 3},
        {kOther, u"/v /v", u"/V", false, u"/v", 1},
        {kOther, u"x assoc assoc", u"assoc", false, u"assoc", 2},
        {kNt, u"assoc reg", u"assoc", false, u"reg", 0},
        {kNt, u"Assoc", u"aSSOC", false, u"", 1},
        {kNt, u"assoc reg", u"", false, u"assoc reg", 0},
        {kOther, u"x y", u"", false, u"x", 0},
        {kNt, u"", u"", false, u"", 1},
        {kOther, u"", u"", false, u"", 0},
        {kOther, u"/\u00dcBER:\u00e9t\u00e9", u"/\u00fcber", false, u"\u00e9t\u00e9", 0},
        {kOther, u"/\u00dcBER", u"/\u00fcber", false, u"", 1},
        {kOther, u"/\u00dcBER", u"/\u00fcber", true, u"", 0},
        {kOther, u"/\u00d7", u"/\u00f7", false, u"", 0},
        {kOther, u"/\u0130", u"/i", false, u"", 0},
        {kOther, u"/x ::", u"/x", false, u"::", 1},
        {kOther, u"/x:", u"/x", false, u":", 0},
        {kOther, u"/x: a", u"/x", false, u":", 0},
    };
    for (const auto& c : cases) {
        FakeCommandLineSource source(u"app " + c.typed, c.family);
        CommandLine cl = Typed(source);
        cl.CaseSensitive(c.caseSensitive);
        SCOPED_TRACE(testing::PrintToString(c.typed) + " flag " + testing::PrintToString(c.flag));
        EXPECT_EQ(cl.FlaggedArg(c.flag), c.value);
        EXPECT_EQ(cl.FlagPresent(c.flag), c.position);
    }
}

TEST(FlagPresentFromList, ConvertsEachItemToTextInOrder) {
    FakeCommandLineSource source(u"app /b 12 -3 True 1.5 1E+20", kOther);
    const CommandLine cl = Typed(source);
    EXPECT_FALSE(cl.FlagPresentFromList({}));
    EXPECT_FALSE(cl.FlagPresentFromList({u"/a", u"/c", 13, false, 2.5}));
    EXPECT_TRUE(cl.FlagPresentFromList({u"/a", std::u16string(u"/B")}));
    EXPECT_TRUE(cl.FlagPresentFromList({12}));
    EXPECT_TRUE(cl.FlagPresentFromList({int64_t{-3}}));
    EXPECT_TRUE(cl.FlagPresentFromList({true}));
    EXPECT_TRUE(cl.FlagPresentFromList({1.5}));
    EXPECT_TRUE(cl.FlagPresentFromList({1e20}));
    // A Null is converted only when reached.
    EXPECT_TRUE(cl.FlagPresentFromList({u"/b", nullptr}));
    try {
        cl.FlagPresentFromList({u"/a", FlagValue()});
        FAIL() << "Null converted to text";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errors::kTypeMismatch);
    }
}

TEST(FlagValue, TextFormsOfTheClassicRuntime) {
    const std::pair<FlagValue, std::u16string> cases[] = {
        {0, u"0"},
        {-7, u"-7"},
        {std::numeric_limits<uint64_t>::max(), u"18446744073709551615"},
        {3.0, u"3"},
        {-0.0, u"0"},
        {0.1, u"0.1"},
        {1.0 / 3, u"0.333333333333333"},
        {123456789012345.0, u"123456789012345"},
        {1e15, u"1E+15"},
        {0.00001, u"1E-05"},
        {true, u"True"},
        {false, u"False"},
        {u"", u""},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(value.Text(), text);
    }
    EXPECT_TRUE(FlagValue(nullptr).IsNull());
    EXPECT_TRUE(FlagValue(static_cast<const char16_t*>(nullptr)).IsNull());
}

}  // namespace
}  // namespace folio
