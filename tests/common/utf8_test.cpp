#include "common/utf8.h"

#include <gtest/gtest.h>

namespace folio {
namespace {

TEST(Utf8, RoundTripsEveryPlane) {
    const std::u16string text = u"A\u00e9\u20ac\U0001F4C4 c:\\docs\\\u00fcber.mdi";
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(ToUtf8(u"\u00e9"), "\xC3\xA9");
    EXPECT_EQ(ToUtf8(u"\U0001F4C4"), "\xF0\x9F\x93\x84");
}

// File names as the system gives them: each byte that is not part of valid UTF-8
// is kept as U+DC80 + byte, so the name comes back exactly, and is shown as \xNN.
struct NameBytes {
    const char* what;
    std::string bytes;
    std::u16string kept;
    std::string shown;
};

TEST(Utf8, KeepsEveryByteOfANameThatIsNotUtf8) {
    const NameBytes cases[] = {
        {"stray byte", "out\xFF.tiff", u"out\xDCFF.tiff", "out\\xFF.tiff"},
        {"truncated at the end", "a\xC3", u"a\xDCC3", "a\\xC3"},
        {"overlong slash", "\xC0\xAF", u"\xDCC0\xDCAF", "\\xC0\\xAF"},
        {"overlong three bytes", "\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF", "\\xE0\\x80\\xAF"},
        {"encoded surrogate", "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80", "\\xED\\xA0\\x80"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80", "\\xF4\\x90\\x80\\x80"},
        {"cut short by ASCII", "\xE2\x82!", u"\xDCE2\xDC82!", "\\xE2\\x82!"},
        {"Latin-1 name", "caf\xE9.mdi", u"caf\xDCE9.mdi", "caf\\xE9.mdi"},
        {"valid accent", "caf\xC3\xA9.mdi", u"caf\u00E9.mdi", "caf\xC3\xA9.mdi"},
        {"valid astral", "\xF0\x9F\x93\x84", u"\U0001F4C4", "\xF0\x9F\x93\x84"},
    };
    for (const NameBytes& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(FromUtf8(c.bytes), c.kept);
        EXPECT_EQ(ToUtf8(FromUtf8(c.bytes)), c.bytes);
        EXPECT_EQ(ShownUtf8(c.bytes), c.shown);
        EXPECT_EQ(ToUtf8(ShownText(FromUtf8(c.bytes))), c.shown);
    }
}

TEST(Utf8, SurrogatesThatNoByteMadeBecomeReplacement) {
    const char16_t loneHigh[] = {u'x', 0xD800, 0};
    const char16_t lowBelowKept[] = {0xDC41, u'y', 0};
    const char16_t pairEndingInKeptRange[] = {0xD800, 0xDC80, 0};
    EXPECT_EQ(ToUtf8(loneHigh), "x\xEF\xBF\xBD");
    EXPECT_EQ(ToUtf8(lowBelowKept), "\xEF\xBF\xBDy");
    EXPECT_EQ(ToUtf8(pairEndingInKeptRange), "\xF0\x90\x82\x80");
    EXPECT_EQ(ShownText(pairEndingInKeptRange), pairEndingInKeptRange);
}

// What may reach a terminal: controls that act on it and the bidirectional
// formatting characters are shown as escapes, everything else as it is.
TEST(Utf8, TerminalTextEscapesControlsAndBidiOverrides) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\x1B]0;owned\x07z", "a\\x1B]0;owned\\x07z"},
        {"tab\there", "tab\\x09here"},
        {"del\x7F", "del\\x7F"},
        {"c1 \xC2\x85 \xC2\x9B", "c1 \\u0085 \\u009B"},
        {"\xE2\x80\xAA\xE2\x80\xAE", "\\u202A\\u202E"},
        {"\xE2\x81\xA6\xE2\x81\xA9", "\\u2066\\u2069"},
        {"stray \xFF", "stray \\xFF"},
        {"\xC2\xA0 \xE2\x80\xAF \xE2\x81\xAA", "\xC2\xA0 \xE2\x80\xAF \xE2\x81\xAA"},
        {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(TerminalText(text), shown) << text;
    }
}

}  // namespace
}  // namespace folio
