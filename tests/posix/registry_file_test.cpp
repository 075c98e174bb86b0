#include "platform/posix/registry_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <ostream>

#include <filesystem>
#include <sstream>

#include "platform/posix/posix_ports.h"
#include "platform/posix/registry_file_format.h"
#include "posix/redirected_environment.h"
#include "posix/windows_reg_reader.h"
#include "shell/file_association.h"

namespace folio {
namespace {

using posix::RegistryFile;
using ::testing::HasSubstr;

class NoDesktop : public DesktopAssociation {
  public:
    void Register(const FileType&) override {}
    void Unregister(std::u16string_view) override {}
};

const std::string kRegistered =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_CLASSES_ROOT\\.mdi]\r\n"
    "@=\"Folio_Lens\"\r\n"
    "\r\n"
    "[HKEY_CLASSES_ROOT\\Folio_Lens]\r\n"
    "@=\"FolioLens\"\r\n"
    "\r\n"
    "[HKEY_CLASSES_ROOT\\Folio_Lens\\DefaultIcon]\r\n"
    "@=\"/opt/foliolens/foliolens\"\r\n"
    "\r\n"
    "[HKEY_CLASSES_ROOT\\Folio_Lens\\shell]\r\n"
    "\r\n"
    "[HKEY_CLASSES_ROOT\\Folio_Lens\\shell\\open]\r\n"
    "@=\"Open MDI\"\r\n"
    "\r\n"
    "[HKEY_CLASSES_ROOT\\Folio_Lens\\shell\\open\\command]\r\n"
    "@=\"/opt/foliolens/foliolens %1\"\r\n"
    "\r\n";

class RegistryFileTest : public testing::RedirectedEnvironment {
  protected:
    void SetUp() override {
        RedirectedEnvironment::SetUp();
        registry = std::make_unique<RegistryFile>(registryPath, diagnostics);
    }

    void Register(const std::u16string& folder = u"/opt/foliolens") {
        FileAssociation association(*registry, codec, desktop, PlatformTraits::Posix(u"/home"),
                                    folder, u"foliolens");
        association.RegisterFileType(u"Folio_Lens", u"mdi", u"FolioLens", folder + u"/foliolens");
    }
    void Unregister() {
        FileAssociation association(*registry, codec, desktop, PlatformTraits::Posix(u"/home"),
                                    u"/opt/foliolens", u"foliolens");
        association.UnregisterFileType(u"Folio_Lens");
    }

    std::ostringstream diagnostics;
    std::unique_ptr<RegistryFile> registry;
    posix::Utf8TextCodec codec;
    NoDesktop desktop;
};

TEST_F(RegistryFileTest, RegistrationLeavesTheFiveValuesAndTheEmptyShellKey) {
    Register();
    EXPECT_EQ(Read(registryPath), kRegistered);
    EXPECT_EQ(diagnostics.str(), "");

    // Through our own reader: six keys, five default values of type REG_SZ, no other
    // value; and written again it is the same file.
    const posix::RegistryFileParse parsed = posix::ParseRegistryFile(Read(registryPath));
    ASSERT_TRUE(parsed.ok) << parsed.error;
    int values = 0;
    for (const auto* key : parsed.data.KeysInTreeOrder()) {
        for (const auto& [folded, named] : key->values) {
            EXPECT_EQ(named.first, "") << key->path;
            EXPECT_EQ(named.second.type, Registry::kString) << key->path;
            ++values;
        }
    }
    EXPECT_EQ(parsed.data.KeysInTreeOrder().size(), 6u);
    EXPECT_EQ(values, 5);
    ASSERT_NE(parsed.data.FindKey("Folio_Lens\\shell"), nullptr);
    EXPECT_TRUE(parsed.data.FindKey("Folio_Lens\\shell")->values.empty());
    EXPECT_EQ(posix::FormatRegistryFile(parsed.data), kRegistered);
}

TEST_F(RegistryFileTest, RegisteringTwiceGivesTheSameFile) {
    Register();
    Register();
    EXPECT_EQ(Read(registryPath), kRegistered);
}

TEST_F(RegistryFileTest, TheFileImportsIntoAWindowsFormatReaderWithItsEscapes) {
    // A folder with a quote and a backslash in its name exercises both escapes.
    Register(u"/opt/say \"hi\"\\now");
    testing::ImportedRegistry imported;
    std::string reason;
    ASSERT_TRUE(testing::ImportWindowsRegFile(Read(registryPath), imported, reason)) << reason;
    using Values = std::map<std::string, std::string>;
    const std::map<std::string, Values> expected{
        {"HKEY_CLASSES_ROOT\\.mdi", {{"", "Folio_Lens"}}},
        {"HKEY_CLASSES_ROOT\\Folio_Lens", {{"", "FolioLens"}}},
        {"HKEY_CLASSES_ROOT\\Folio_Lens\\DefaultIcon", {{"", "/opt/say \"hi\"\\now/foliolens"}}},
        {"HKEY_CLASSES_ROOT\\Folio_Lens\\shell", {}},
        {"HKEY_CLASSES_ROOT\\Folio_Lens\\shell\\open", {{"", "Open MDI"}}},
        {"HKEY_CLASSES_ROOT\\Folio_Lens\\shell\\open\\command",
         {{"", "/opt/say \"hi\"\\now/foliolens %1"}}},
    };
    EXPECT_EQ(imported.keys, expected);
    EXPECT_THAT(Read(registryPath), HasSubstr("@=\"/opt/say \\\"hi\\\"\\\\now/foliolens %1\""));
}

TEST_F(RegistryFileTest, UnregisteringRemovesTheIdentifiersTreeAndKeepsTheExtension) {
    Write(registryPath,
          "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_CLASSES_ROOT\\.txt]\r\n@=\"txtfile\"\r\n\r\n"
          "[HKEY_CLASSES_ROOT\\Folio_Lens_Old]\r\n@=\"stays\"\r\n\r\n");
    Register();
    Unregister();
    EXPECT_EQ(Read(registryPath),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\.mdi]\r\n@=\"Folio_Lens\"\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\.txt]\r\n@=\"txtfile\"\r\n\r\n"
              "[HKEY_CLASSES_ROOT\\Folio_Lens_Old]\r\n@=\"stays\"\r\n\r\n");
}

TEST_F(RegistryFileTest, UnregisteringWhenNothingIsRegisteredChangesNothing) {
    Unregister();
    EXPECT_FALSE(Exists(registryPath));

    const std::string other =
        "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\.txt]\n@=\"txtfile\"\n";
    Write(registryPath, other);
    Unregister();
    EXPECT_EQ(Read(registryPath), other);
    EXPECT_EQ(diagnostics.str(), "");
}

TEST_F(RegistryFileTest, ADefaultNamingAnotherHandlerIsOverwritten) {
    Write(registryPath,
          "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_CLASSES_ROOT\\.MDI]\r\n@=\"OtherViewer.Document\"\r\n\"Content Type\"=\"x\"\r\n");
    Register();
    const std::string text = Read(registryPath);
    EXPECT_THAT(text, ::testing::Not(HasSubstr("OtherViewer")));
    // Key names compare without case: the key keeps its spelling, and its other value.
    EXPECT_THAT(
        text, HasSubstr("[HKEY_CLASSES_ROOT\\.MDI]\r\n@=\"Folio_Lens\"\r\n\"Content Type\"=\"x\""));
    EXPECT_THAT(text, ::testing::Not(HasSubstr("[HKEY_CLASSES_ROOT\\.mdi]")));
}

struct DamagedCase {
    const char* name;
    std::string content;
    const char* reported;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const DamagedCase& c, std::ostream* os) {
    *os << c.name;
}

class DamagedRegistryFileTest : public RegistryFileTest,
                                public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedRegistryFileTest, IsKeptAsideReportedAndReplaced) {
    Write(registryPath, GetParam().content);
    Register();
    EXPECT_EQ(Read(registryPath), kRegistered);
    EXPECT_EQ(Read(registryPath + ".damaged"), GetParam().content);
    EXPECT_THAT(diagnostics.str(), HasSubstr(registryPath + ".damaged"));
    EXPECT_THAT(diagnostics.str(), HasSubstr(GetParam().reported));
}

INSTANTIATE_TEST_SUITE_P(
    Contents, DamagedRegistryFileTest,
    ::testing::Values(
        DamagedCase{"Foreign", "this is my shopping list\n", "line 1: the first line"},
        DamagedCase{"Empty", "", "the file is empty"},
        DamagedCase{"OtherRoot",
                    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software]\n",
                    "line 3: the key is not under HKEY_CLASSES_ROOT"},
        DamagedCase{"Deletion", "Windows Registry Editor Version 5.00\n\n[-HKEY_CLASSES_ROOT\\x]\n",
                    "line 3: key deletions"},
        DamagedCase{"UnclosedString",
                    "Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\x]\n@=\"abc\n",
                    "line 3: a string is not closed"},
        DamagedCase{"UnknownEscape",
                    "Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\x]\n@=\"a\\qb\"\n",
                    "line 3: a backslash"},
        DamagedCase{"ValueBeforeKey", "Windows Registry Editor Version 5.00\n@=\"x\"\n",
                    "line 2: a value comes before any [key] line"},
        DamagedCase{
            "BadDword",
            "Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\x]\n\"n\"=dword:xyz\n",
            "line 3: a dword value"},
        DamagedCase{"EmptyKeyPart",
                    "Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\a\\\\b]\n",
                    "line 2: the key path"},
        DamagedCase{
            "TruncatedHex",
            "Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\x]\n\"n\"=hex:01,0\n",
            "line 3: a hex byte list"},
        DamagedCase{
            "OddLengthUtf16String",
            "Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\x]\n@=hex(1):76,00,00\n",
            "line 3: a string value in hex has an odd number of bytes"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RegistryFileTest, AFifoAtTheFilesNameIsKeptAsideWithoutWaitingForAWriter) {
    std::filesystem::create_directories(dataHome + "/FolioLens");
    ASSERT_EQ(::mkfifo(registryPath.c_str(), 0600), 0);
    Register();
    EXPECT_EQ(Read(registryPath), kRegistered);
    EXPECT_TRUE(std::filesystem::is_fifo(registryPath + ".damaged"));
    EXPECT_THAT(diagnostics.str(), HasSubstr("not a regular file"));
}

TEST_F(RegistryFileTest, ASecondDamagedFileDoesNotReplaceTheFirstKeptAside) {
    Write(registryPath, "first\n");
    Register();
    Write(registryPath, "second\n");
    Register();
    EXPECT_EQ(Read(registryPath + ".damaged"), "first\n");
    EXPECT_EQ(Read(registryPath + ".damaged-2"), "second\n");
}

TEST_F(RegistryFileTest, AnUnwritableDataFolderFailsEveryStepQuietly) {
    // A file where the program's folder should be defeats even a privileged user.
    Write(dataHome + "/FolioLens", "not a folder");
    Register();
    Unregister();
    EXPECT_EQ(Read(dataHome + "/FolioLens"), "not a folder");
    EXPECT_EQ(diagnostics.str(), "");

    const auto created = registry->CreateKey(Registry::kClassesRoot, ".mdi", 0, nullptr, 0, 63);
    EXPECT_NE(created.status, Registry::kSuccess);
    EXPECT_EQ(created.status, Registry::kFileNotFound);  // the folder's path runs through a file
    EXPECT_EQ(created.key, 0u);
}

TEST_F(RegistryFileTest, AReadOnlyDataFolderLeavesNoPartialFile) {
    const std::string folder = dataHome + "/FolioLens";
    std::filesystem::create_directories(folder);
    ::chmod(folder.c_str(), 0555);
    Register();
    if (::geteuid() != 0) {
        EXPECT_FALSE(Exists(registryPath));
    }
    // Whoever runs it, no temporary file is left behind.
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        EXPECT_EQ(entry.path().filename(), "HKEY_CLASSES_ROOT.reg");
    }
}

TEST_F(RegistryFileTest, HandlesBehaveAsTheWindowsRegistrysDo) {
    // A missing key cannot be opened, and nothing can be written through handle 0.
    const auto missing = registry->OpenKey(Registry::kClassesRoot, "Folio_Lens", 0, 63);
    EXPECT_EQ(missing.status, Registry::kFileNotFound);
    EXPECT_EQ(missing.key, 0u);
    const std::uint8_t text[] = "x";
    EXPECT_EQ(registry->SetValue(missing.key, "", 0, Registry::kString, text, 2),
              Registry::kInvalidHandle);
    EXPECT_FALSE(Exists(registryPath));

    const auto created = registry->CreateKey(Registry::kClassesRoot, "A\\B", 0, nullptr, 0, 63);
    ASSERT_EQ(created.status, Registry::kSuccess);
    EXPECT_EQ(created.disposition, Registry::kCreatedNewKey);
    const auto again = registry->CreateKey(Registry::kClassesRoot, "a\\b", 0, nullptr, 0, 63);
    EXPECT_EQ(again.disposition, Registry::kOpenedExistingKey);

    // Subkeys open relative to an open key; a key opened for reading only refuses writes.
    const auto relative = registry->OpenKey(created.key, "", 0, Registry::kQueryValue);
    ASSERT_EQ(relative.status, Registry::kSuccess);
    EXPECT_EQ(registry->SetValue(relative.key, "", 0, Registry::kString, text, 2),
              Registry::kAccessDenied);
    EXPECT_EQ(registry->SetValue(created.key, "", 0, Registry::kString, text, 2),
              Registry::kSuccess);

    // A deleted key's handle writes nothing; a closed handle is gone.
    EXPECT_EQ(registry->DeleteTree(Registry::kClassesRoot, "A"), Registry::kSuccess);
    EXPECT_EQ(registry->SetValue(created.key, "", 0, Registry::kString, text, 2),
              Registry::kKeyDeleted);
    EXPECT_EQ(registry->CloseKey(created.key), Registry::kSuccess);
    EXPECT_EQ(registry->CloseKey(created.key), Registry::kInvalidHandle);
    EXPECT_EQ(registry->DeleteTree(Registry::kClassesRoot, "A"), Registry::kFileNotFound);
    // The root itself is never deleted.
    registry->CreateKey(Registry::kClassesRoot, "Keep", 0, nullptr, 0, 63);
    EXPECT_EQ(registry->DeleteTree(Registry::kClassesRoot, ""), Registry::kAccessDenied);
    EXPECT_EQ(registry->OpenKey(Registry::kClassesRoot, "Keep", 0, 63).status, Registry::kSuccess);

    for (const char* bad : {"\\A", "A\\", "A\\\\B"}) {
        EXPECT_EQ(registry->CreateKey(Registry::kClassesRoot, bad, 0, nullptr, 0, 63).status,
                  Registry::kBadPathname)
            << bad;
    }
    EXPECT_EQ(registry->CreateKey(Registry::kClassesRoot, "a\nb", 0, nullptr, 0, 63).status,
              Registry::kInvalidParameter);
    EXPECT_EQ(registry->CreateKey(Registry::kClassesRoot, std::string(256, 'k'), 0, nullptr, 0, 63)
                  .status,
              Registry::kInvalidParameter);
    EXPECT_EQ(registry->OpenKey(0x1234, "A", 0, 63).status, Registry::kInvalidHandle);
}

TEST_F(RegistryFileTest, ADamagedFileIsNotReadAsAnEmptyRegistry) {
    Write(registryPath, "garbage\n");
    EXPECT_EQ(registry->OpenKey(Registry::kClassesRoot, "", 0, 63).status, Registry::kInvalidData);
    EXPECT_EQ(registry->DeleteTree(Registry::kClassesRoot, "Folio_Lens"), Registry::kInvalidData);
    EXPECT_EQ(Read(registryPath), "garbage\n");
}

}  // namespace
}  // namespace folio
