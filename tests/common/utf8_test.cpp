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

TEST(Utf8, MalformedInputBecomesReplacementWithoutOverrun) {
    EXPECT_EQ(FromUtf8("a\xC3"), u"a\uFFFD");                    // truncated sequence at the end
    EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong form
    EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(FromUtf8("\xFF"), u"\uFFFD");
    EXPECT_EQ(FromUtf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
    EXPECT_EQ(FromUtf8("\xE2\x82!"), u"\uFFFD\uFFFD!");  // sequence cut short by ASCII
    const char16_t lone[] = {u'x', 0xD800, 0};
    EXPECT_EQ(ToUtf8(lone), "x\xEF\xBF\xBD");
}

}  // namespace
}  // namespace folio
