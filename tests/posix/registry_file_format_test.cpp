#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

#include "platform/posix/registry_file_format.h"
#include "platform/registry.h"

namespace folio::posix {
namespace {

using ::testing::HasSubstr;

RegistryValue String(std::string text) {
    return {Registry::kString, std::move(text)};
}

TEST(RegistryFileFormatTest, EveryKindOfValueRoundTrips) {
    RegistryFileData data;
    data.CreateKey("Quotes\\And\\Backslashes");
    data.SetValue("Quotes\\And\\Backslashes", "", String("say \"hi\" C:\\dir\\"));
    data.SetValue("Quotes\\And\\Backslashes", "na\"me\\", String(""));
    data.CreateKey("Text");
    data.SetValue("Text", "lines", String("one\r\ntwo\tthree"));  // goes out as hex(1)
    data.SetValue("Text", "unicode", String("F\xc3\xbcr \xe2\x82\xac 1"));
    data.SetValue("Text", "expand", {Registry::kExpandString, "%HOME%/x"});
    data.CreateKey("Numbers");
    data.SetValue("Numbers", "dword", {Registry::kDword, std::string("\x78\x56\x34\x12", 4)});
    data.SetValue("Numbers", "short", {Registry::kDword, std::string("\x01", 1)});
    data.SetValue("Numbers", "binary", {Registry::kBinary, std::string(100, '\xab')});
    data.SetValue("Numbers", "empty", {Registry::kBinary, ""});
    data.SetValue("Numbers", "multi", {7, std::string("a\0b\0\0", 5)});
    data.SetValue("", "on the root", String("yes"));

    const std::string text = FormatRegistryFile(data);
    const RegistryFileParse parsed = ParseRegistryFile(text);
    ASSERT_TRUE(parsed.ok) << parsed.line << ": " << parsed.error << "\n" << text;
    EXPECT_EQ(parsed.data, data) << text;

    EXPECT_THAT(text, HasSubstr("@=\"say \\\"hi\\\" C:\\\\dir\\\\\"\r\n"));
    EXPECT_THAT(text, HasSubstr("\"na\\\"me\\\\\"=\"\"\r\n"));
    EXPECT_THAT(text, HasSubstr("\"dword\"=dword:12345678\r\n"));
    EXPECT_THAT(text, HasSubstr("\"lines\"=hex(1):6f,00,6e,00,65,00,0d,00,0a,00,"));
    EXPECT_THAT(text, HasSubstr("\"expand\"=hex(2):25,00,48,00,"));
    EXPECT_THAT(text, HasSubstr("[HKEY_CLASSES_ROOT]\r\n\"on the root\"=\"yes\""));
    // Long hex lists are continued over lines no wider than 80 columns.
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
        start = end + 2;
    }
}

TEST(RegistryFileFormatTest, StringsAreCutAtTheirNulAndKeptAsValidUtf8) {
    // Otherwise the file could not give them back as they were stored.
    RegistryFileData data;
    data.CreateKey("k");
    data.SetValue("k", "", String(std::string("a\xff\0b", 4)));
    EXPECT_EQ(data.FindKey("k")->values.at("").second, String("a\xef\xbf\xbd"));
    const RegistryFileParse parsed = ParseRegistryFile(FormatRegistryFile(data));
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.data, data);
}

TEST(RegistryFileFormatTest, KeysComeInTreeOrderWithTheirParents) {
    RegistryFileData data;
    data.CreateKey("b\\c");
    data.CreateKey("a b");
    data.CreateKey("A\\z");
    const std::string text = FormatRegistryFile(data);
    EXPECT_EQ(text,
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\A]\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\A\\z]\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\a b]\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\b]\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\b\\c]\r\n\r\n");
}

struct AcceptedCase {
    const char* name;
    std::string text;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const AcceptedCase& c, std::ostream* os) {
    *os << c.name;
}

class AcceptedRegistryFileTest : public ::testing::TestWithParam<AcceptedCase> {};

// Each spelling holds the key "x\y" with default "v" and a binary value "b" = 01 02.
TEST_P(AcceptedRegistryFileTest, ReadsTheSameData) {
    RegistryFileData expected;
    expected.CreateKey("x\\y");
    expected.SetValue("x\\y", "", String("v"));
    expected.SetValue("x\\y", "b", {Registry::kBinary, "\x01\x02"});
    const RegistryFileParse parsed = ParseRegistryFile(GetParam().text);
    ASSERT_TRUE(parsed.ok) << parsed.line << ": " << parsed.error;
    EXPECT_EQ(parsed.data, expected);
}

std::string Utf16Le(std::string_view ascii) {
    std::string out = "\xff\xfe";
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, AcceptedRegistryFileTest,
    ::testing::Values(
        AcceptedCase{"CrLf",
                     "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\x\\y]"
                     "\r\n@=\"v\"\r\n\"b\"=hex:01,02\r\n"},
        AcceptedCase{"LfWithoutFinalNewline",
                     "Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\x\\y]\n@=\"v\"\n"
                     "\"b\"=hex:01,02"},
        AcceptedCase{"Utf8ByteOrderMark",
                     "\xef\xbb\xbfWindows Registry Editor Version 5.00\n"
                     "[HKEY_CLASSES_ROOT\\x\\y]\n@=\"v\"\n\"b\"=hex:01,02\n"},
        AcceptedCase{"Utf16LittleEndian",
                     Utf16Le("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\x\\y]"
                             "\r\n@=\"v\"\r\n\"b\"=hex:01,02\r\n")},
        AcceptedCase{"OlderHeader",
                     "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\x\\y]\n@=hex(1):76,00\n"
                     "\"b\"=hex:01,02\n"},
        AcceptedCase{"CommentsSpacesAndContinuation",
                     "Windows Registry Editor Version 5.00\n; made by hand\n"
                     "[HKEY_CLASSES_ROOT\\x\\y]  \n@ = \"v\"\n\"b\"=hex:01,\\\n  02\n"},
        AcceptedCase{"StringAsUtf16Hex",
                     "Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\x\\y]\n"
                     "@=hex(1):76,00,00,00\n\"b\"=hex(3):01,02\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RegistryFileFormatTest, ValueNamesKeepTheirFirstSpellingAndCompareWithoutCase) {
    RegistryFileData data;
    data.CreateKey("k");
    data.SetValue("k", "Name", String("1"));
    data.SetValue("K", "NAME", String("2"));
    ASSERT_NE(data.FindKey("K"), nullptr);
    ASSERT_EQ(data.FindKey("k")->values.size(), 1u);
    EXPECT_EQ(data.FindKey("k")->values.begin()->second.first, "Name");
    EXPECT_EQ(data.FindKey("k")->values.begin()->second.second, String("2"));
    EXPECT_FALSE(data.SetValue("missing", "", String("x")));
}

TEST(RegistryFileFormatTest, DeletingATreeKeepsSiblingsWhoseNamesStartAlike) {
    RegistryFileData data;
    data.CreateKey("Folio_Lens\\shell\\open");
    data.CreateKey("Folio_Lens_Old");
    data.CreateKey("Folio_Lens2\\x");
    EXPECT_TRUE(data.DeleteTree("FOLIO_LENS"));
    EXPECT_FALSE(data.HasKey("Folio_Lens\\shell"));
    EXPECT_TRUE(data.HasKey("Folio_Lens_Old"));
    EXPECT_TRUE(data.HasKey("Folio_Lens2\\x"));
    EXPECT_FALSE(data.DeleteTree("Folio_Lens"));
}

}  // namespace
}  // namespace folio::posix
