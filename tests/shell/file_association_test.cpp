#include "shell/file_association.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/utf8.h"
#include "support/recording_registry.h"

namespace folio {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::RecordingRegistry;

// A single-byte code page (Latin-1), so that a test can tell converted bytes from
// UTF-8 and from UTF-16.
class Latin1Codec : public TextCodec {
  public:
    std::string ToAnsi(std::u16string_view text) const override {
        std::string out;
        for (char16_t c : text) {
            out.push_back(c < 0x100 ? static_cast<char>(c) : '?');
        }
        return out;
    }
    std::u16string FromAnsi(std::string_view bytes) const override {
        std::u16string out;
        for (unsigned char c : bytes) {
            out.push_back(c);
        }
        return out;
    }
};

class RecordingDesktop : public DesktopAssociation {
  public:
    void Register(const FileType& fileType) override {
        registered.push_back(fileType);
        registryCallsBefore = registry ? registry->calls.size() : 0;
        if (fail) {
            throw std::runtime_error("desktop folder not writable");
        }
    }
    void Unregister(std::u16string_view programmaticId) override {
        unregistered.emplace_back(programmaticId);
        if (fail) {
            throw std::runtime_error("desktop folder not writable");
        }
    }
    std::vector<FileType> registered;
    std::vector<std::u16string> unregistered;
    bool fail = false;
    const RecordingRegistry* registry = nullptr;
    std::size_t registryCallsBefore = 0;
};

struct Platform {
    const char* name;
    PlatformTraits traits;
    std::u16string folder;
    std::u16string exeName;
    // What the recorded lines must show.
    std::string command;   // the open command, as narrow text
    std::string iconPath;  // the icon path the caller passes
    std::u16string program;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Platform& c, std::ostream* os) {
    *os << c.name;
}

std::vector<Platform> Platforms() {
    return {
        {"Windows", PlatformTraits::Windows(), u"C:\\Program Files\\FolioLens", u"FolioLens",
         "C:\\Program Files\\FolioLens\\FolioLens %1",
         "C:\\Program Files\\FolioLens\\FolioLens.exe",
         u"C:\\Program Files\\FolioLens\\FolioLens.exe"},
        {"Posix", PlatformTraits::Posix(u"/home/ann"), u"/opt/folio lens", u"foliolens",
         "/opt/folio lens/foliolens %1", "/opt/folio lens/foliolens", u"/opt/folio lens/foliolens"},
        // A drive root already ends with the separator; it gets another one.
        {"WindowsDriveRoot", PlatformTraits::Windows(), u"D:\\", u"FolioLens", "D:\\\\FolioLens %1",
         "D:\\\\FolioLens.exe", u"D:\\\\FolioLens.exe"},
    };
}

class RegisterFileTypeTest : public ::testing::TestWithParam<Platform> {
  protected:
    RecordingRegistry registry;
    Latin1Codec codec;
    RecordingDesktop desktop;
};

TEST_P(RegisterFileTypeTest, MakesTheRegistryCallsInOrderWithTheirConstants) {
    const Platform& p = GetParam();
    FileAssociation association(registry, codec, desktop, p.traits, p.folder, p.exeName);
    association.RegisterFileType(u"Folio_Lens", u"mdi", u"FolioLens", FromUtf8(p.iconPath));

    const std::string command = "\"" + p.command + "\\0\"";
    const std::string icon = "\"" + p.iconPath + "\\0\"";
    const std::string commandSize = std::to_string(p.command.size() + 1);
    const std::string iconSize = std::to_string(p.iconPath.size() + 1);
    const std::vector<std::string> expected{
        "CreateKey(0x80000000, \".mdi\", 0, null, 0, 63)",
        "CloseKey(0x100)",
        "OpenKey(0x80000000, \".mdi\", 0, 63)",
        "SetValue(0x101, \"\", 0, 1, \"Folio_Lens\\0\", 11)",
        "CloseKey(0x101)",
        "CreateKey(0x80000000, \"Folio_Lens\\shell\\open\\command\", 0, null, 0, 63)",
        "CloseKey(0x102)",
        "CreateKey(0x80000000, \"Folio_Lens\\DefaultIcon\", 0, null, 0, 63)",
        "CloseKey(0x103)",
        "OpenKey(0x80000000, \"Folio_Lens\", 0, 63)",
        "SetValue(0x104, \"\", 0, 1, \"FolioLens\\0\", 10)",
        "CloseKey(0x104)",
        "OpenKey(0x80000000, \"Folio_Lens\\shell\\open\", 0, 63)",
        "SetValue(0x105, \"\", 0, 1, \"Open MDI\\0\", 9)",
        "CloseKey(0x105)",
        "OpenKey(0x80000000, \"Folio_Lens\\shell\\open\\command\", 0, 63)",
        "SetValue(0x106, \"\", 0, 1, " + command + ", " + commandSize + ")",
        "CloseKey(0x106)",
        "OpenKey(0x80000000, \"Folio_Lens\\DefaultIcon\", 0, 63)",
        "SetValue(0x107, \"\", 0, 1, " + icon + ", " + iconSize + ")",
        "CloseKey(0x107)",
    };
    EXPECT_THAT(registry.calls, ElementsAreArray(expected));
}

TEST_P(RegisterFileTypeTest, HandsTheFileTypeToTheDesktopAfterTheRegistry) {
    const Platform& p = GetParam();
    desktop.registry = &registry;
    FileAssociation association(registry, codec, desktop, p.traits, p.folder, p.exeName);
    association.RegisterFileType(u"Folio_Lens", u"mdi", u"FolioLens", FromUtf8(p.iconPath));

    ASSERT_EQ(desktop.registered.size(), 1u);
    EXPECT_EQ(desktop.registryCallsBefore, 21u);
    const DesktopAssociation::FileType& type = desktop.registered.front();
    EXPECT_EQ(type.programmaticId, u"Folio_Lens");
    EXPECT_EQ(type.extension, u"mdi");
    EXPECT_EQ(type.description, u"FolioLens");
    EXPECT_EQ(type.program, p.program);
    EXPECT_EQ(type.iconPath, FromUtf8(p.iconPath));
}

INSTANTIATE_TEST_SUITE_P(BothPlatforms, RegisterFileTypeTest, ::testing::ValuesIn(Platforms()),
                         [](const auto& info) { return std::string(info.param.name); });

class FileAssociationTest : public ::testing::Test {
  protected:
    RecordingRegistry registry;
    Latin1Codec codec;
    RecordingDesktop desktop;
    FileAssociation association{registry,    codec,       desktop, PlatformTraits::Windows(),
                                u"C:\\Apps", u"FolioLens"};
};

TEST_F(FileAssociationTest, UnregisteringDeletesOnlyTheIdentifiersTree) {
    association.UnregisterFileType(u"Folio_Lens");
    EXPECT_THAT(registry.calls, ElementsAre("DeleteTree(0x80000000, \"Folio_Lens\")"));
    EXPECT_THAT(desktop.unregistered, ElementsAre(u"Folio_Lens"));
}

TEST_F(FileAssociationTest, StringsReachTheRegistryInTheNarrowCodePage) {
    // One byte per character in this code page: the size counts bytes, not UTF-16 units.
    association.SetRegValue(u"Caf\u00e9", u"N\u00e4me", u"\u00fcber", Registry::kString);
    EXPECT_THAT(
        registry.calls,
        ElementsAre("OpenKey(0x80000000, \"Caf\\xE9\", 0, 63)",
                    "SetValue(0x100, \"N\\xE4me\", 0, 1, \"\\xFCber\\0\", 5)", "CloseKey(0x100)"));
}

TEST_F(FileAssociationTest, CreateRegKeyUsesTheRootItIsGiven) {
    association.CreateRegKey(u"Software\\FolioLens", 0x80000001u);
    EXPECT_THAT(registry.calls,
                ElementsAre("CreateKey(0x80000001, \"Software\\FolioLens\", 0, null, 0, 63)",
                            "CloseKey(0x100)"));
}

TEST_F(FileAssociationTest, FailuresArePassedOverAndEveryStepStillRuns) {
    registry.failCreate = true;
    registry.failOpen = true;
    desktop.fail = true;
    association.RegisterFileType(u"Folio_Lens", u"mdi", u"FolioLens", u"C:\\Apps\\FolioLens.exe");

    // Nine registry steps still make 21 calls; a key that could not be opened leaves
    // handle 0, so its write and its close go to no key.
    ASSERT_EQ(registry.calls.size(), 21u);
    EXPECT_EQ(registry.calls[1], "CloseKey(0x0)");
    EXPECT_EQ(registry.calls[3], "SetValue(0x0, \"\", 0, 1, \"Folio_Lens\\0\", 11)");
    EXPECT_EQ(desktop.registered.size(), 1u);

    association.UnregisterFileType(u"Folio_Lens");
    EXPECT_EQ(desktop.unregistered.size(), 1u);
}

TEST_F(FileAssociationTest, WriteRegValueReturnsTheRegistryStatusAndWritesOnlyStrings) {
    EXPECT_EQ(association.WriteRegValue(0x42, u"", Registry::kString, u"x"), Registry::kSuccess);
    EXPECT_EQ(association.WriteRegValue(0, u"", Registry::kString, u"x"), Registry::kInvalidHandle);
    EXPECT_EQ(association.WriteRegValue(0x42, u"", Registry::kDword, u"1"),
              Registry::kInvalidParameter);
    EXPECT_THAT(registry.calls, ElementsAre("SetValue(0x42, \"\", 0, 1, \"x\\0\", 2)",
                                            "SetValue(0x0, \"\", 0, 1, \"x\\0\", 2)"));
}

}  // namespace
}  // namespace folio
