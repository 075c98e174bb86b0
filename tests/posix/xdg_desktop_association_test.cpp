#include "platform/posix/xdg_desktop_association.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <ostream>

#include <cstdio>
#include <filesystem>

#include "application_icon.h"
#include "common/utf8.h"
#include "platform/posix/file_association_ports.h"
#include "platform/posix/xdg_desktop_association_texts.h"
#include "posix/redirected_environment.h"
#include "shell/file_association.h"

namespace folio::posix {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct ExecCase {
    const char* path;
    const char* argument;  // as it stands in the desktop entry
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ExecCase& c, std::ostream* os) {
    *os << c.path;
}

class DesktopExecArgumentTest : public ::testing::TestWithParam<ExecCase> {};

TEST_P(DesktopExecArgumentTest, QuotesAndEscapesByTheDesktopEntryRules) {
    EXPECT_EQ(DesktopExecArgument(GetParam().path), GetParam().argument);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DesktopExecArgumentTest,
    ::testing::Values(ExecCase{"/opt/foliolens/foliolens", "/opt/foliolens/foliolens"},
                      ExecCase{"/opt/folio lens/foliolens", "\"/opt/folio lens/foliolens\""},
                      ExecCase{"/opt/100%/foliolens", "/opt/100%%/foliolens"},
                      ExecCase{"/opt/a\"b/x", "\"/opt/a\\\\\"b/x\""},
                      ExecCase{"/opt/$HOME/x", "\"/opt/\\\\$HOME/x\""},
                      ExecCase{"/opt/back\\slash", "\"/opt/back\\\\\\\\slash\""},
                      ExecCase{"/opt/`cmd`;x", "\"/opt/\\\\`cmd\\\\`;x\""},
                      ExecCase{"/opt/new\nline", "\"/opt/new\\nline\""}));

struct MimeappsCase {
    const char* name;
    std::string before;
    std::string registered;    // after making foliolens.desktop the default
    std::string unregistered;  // after removing it again from `registered`
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const MimeappsCase& c, std::ostream* os) {
    *os << c.name;
}

class MimeappsEditTest : public ::testing::TestWithParam<MimeappsCase> {};

TEST_P(MimeappsEditTest, ChangesOnlyTheLineOfTheType) {
    const MimeappsCase& c = GetParam();
    const std::string registered =
        WithDefaultApplication(c.before, "image/vnd.ms-modi", "foliolens.desktop");
    EXPECT_EQ(registered, c.registered);
    EXPECT_EQ(WithoutDefaultApplication(registered, "image/vnd.ms-modi", "foliolens.desktop"),
              c.unregistered);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MimeappsEditTest,
    ::testing::Values(
        MimeappsCase{"Missing", "",
                     "[Default Applications]\nimage/vnd.ms-modi=foliolens.desktop;\n",
                     "[Default Applications]\n"},
        MimeappsCase{"OtherGroupsOnly", "[Added Associations]\ntext/plain=vim.desktop;\n",
                     "[Added Associations]\ntext/plain=vim.desktop;\n\n[Default Applications]\n"
                     "image/vnd.ms-modi=foliolens.desktop;\n",
                     "[Added Associations]\ntext/plain=vim.desktop;\n\n[Default Applications]\n"},
        MimeappsCase{"IntoTheExistingGroup",
                     "[Default Applications]\ntext/plain=vim.desktop;\n\n[Added Associations]\n"
                     "image/vnd.ms-modi=other.desktop;\n",
                     "[Default Applications]\ntext/plain=vim.desktop;\n"
                     "image/vnd.ms-modi=foliolens.desktop;\n\n[Added Associations]\n"
                     "image/vnd.ms-modi=other.desktop;\n",
                     "[Default Applications]\ntext/plain=vim.desktop;\n\n[Added Associations]\n"
                     "image/vnd.ms-modi=other.desktop;\n"},
        MimeappsCase{"ReplacesAnotherDefault",
                     "# mine\n[Default Applications]\nimage/vnd.ms-modi=other.desktop;\n"
                     "image/tiff=other.desktop;\n",
                     "# mine\n[Default Applications]\nimage/vnd.ms-modi=foliolens.desktop;\n"
                     "image/tiff=other.desktop;\n",
                     "# mine\n[Default Applications]\nimage/tiff=other.desktop;\n"},
        MimeappsCase{"NoFinalNewline", "[Default Applications]\ntext/plain=vim.desktop;",
                     "[Default Applications]\ntext/plain=vim.desktop;\n"
                     "image/vnd.ms-modi=foliolens.desktop;\n",
                     "[Default Applications]\ntext/plain=vim.desktop;\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MimeappsEditTest, RemovingKeepsOtherApplicationsOfTheLineAndOtherProgramsDefaults) {
    EXPECT_EQ(WithoutDefaultApplication("[Default Applications]\n"
                                        "image/vnd.ms-modi=foliolens.desktop;other.desktop;\n",
                                        "image/vnd.ms-modi", "foliolens.desktop"),
              "[Default Applications]\nimage/vnd.ms-modi=other.desktop;\n");
    const std::string others = "[Default Applications]\nimage/vnd.ms-modi=other.desktop;\n";
    EXPECT_EQ(WithoutDefaultApplication(others, "image/vnd.ms-modi", "foliolens.desktop"), others);
}

TEST(MimePackageTextTest, DefinesTheTypeByGlobAndByItsFirstBytes) {
    const std::string text = MimePackageText(
        {"image/vnd.ms-modi", "MDI <image> & more", "*.mdi", std::string("EP*\0", 4)});
    EXPECT_THAT(text, HasSubstr("<mime-type type=\"image/vnd.ms-modi\">"));
    EXPECT_THAT(text, HasSubstr("<comment>MDI &lt;image&gt; &amp; more</comment>"));
    EXPECT_THAT(text, HasSubstr("<glob pattern=\"*.mdi\"/>"));
    EXPECT_THAT(text,
                HasSubstr("<match type=\"string\" offset=\"0\" value=\"\\x45\\x50\\x2a\\x00\"/>"));
}

// The association made with the real freedesktop.org tools reading the result.
class XdgToolsTest : public testing::RedirectedEnvironment {
  protected:
    void SetUp() override {
        RedirectedEnvironment::SetUp();
        if (::system("command -v xdg-mime >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "xdg-mime is not installed";
        }
        // With a desktop named, xdg-mime asks GLib (shared-mime-info's reader) for
        // types; without one it would ask file(1), which knows nothing of user types.
        SetVariable("XDG_CURRENT_DESKTOP", "GNOME");
        SetVariable("GIO_USE_VFS", "local");
        bin = root + "/bin";
        Write(bin + "/foliolens", "#!/bin/sh\nexit 0\n");
        ::chmod((bin + "/foliolens").c_str(), 0755);
        Write(root + "/scan.bin", std::string("EP*\0\x08\0\0\0", 8) + std::string(64, '\0'));
    }

    void Register(const std::string& folder) {
        auto ports = MakePosixFileAssociationPorts(resources::ApplicationIconFiles());
        FileAssociation association(*ports.registry, *ports.codec, *ports.desktop,
                                    PlatformTraits::Posix(FromUtf8(home)), FromUtf8(folder),
                                    u"foliolens");
        association.RegisterFileType(u"Folio_Lens", u"mdi", u"FolioLens",
                                     FromUtf8(folder + "/foliolens"));
    }
    void Unregister() {
        auto ports = MakePosixFileAssociationPorts(resources::ApplicationIconFiles());
        FileAssociation association(*ports.registry, *ports.codec, *ports.desktop,
                                    PlatformTraits::Posix(FromUtf8(home)), FromUtf8(bin),
                                    u"foliolens");
        association.UnregisterFileType(u"Folio_Lens");
    }

    // Runs a command line of fixed words and paths of this test; the first line of
    // its output.
    static std::string FirstLine(const std::string& command) {
        std::string out;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[512];
            while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
                out += buffer;
            }
            ::pclose(pipe);
        }
        return out.substr(0, out.find('\n'));
    }
    std::string FileType(const std::string& path) {
        return FirstLine("xdg-mime query filetype '" + path + "' 2>/dev/null");
    }
    std::string Default() {
        return FirstLine("xdg-mime query default image/vnd.ms-modi 2>/dev/null");
    }

    std::string bin;
};

TEST_F(XdgToolsTest, RegisteringMakesTheTypeKnownAndTheProgramItsDefault) {
    // Only our own package may answer: no system MIME data.
    SetVariable("XDG_DATA_DIRS", root + "/system");
    std::filesystem::create_directories(root + "/system/mime");
    ASSERT_NE(FileType(root + "/scan.bin"), "image/vnd.ms-modi");
    ASSERT_EQ(Default(), "");

    Register(bin);
    EXPECT_EQ(FileType(root + "/scan.bin"), "image/vnd.ms-modi");
    EXPECT_EQ(Default(), "foliolens.desktop");

    // And with the system's data present as well, as on a user's machine.
    SetVariable("XDG_DATA_DIRS", dataHome + ":/usr/share");
    EXPECT_EQ(FileType(root + "/scan.bin"), "image/vnd.ms-modi");
    EXPECT_EQ(Default(), "foliolens.desktop");

    EXPECT_TRUE(Exists(dataHome + "/icons/hicolor/48x48/apps/foliolens.png"));
    EXPECT_TRUE(Exists(dataHome + "/icons/hicolor/scalable/apps/foliolens.svg"));
    EXPECT_THAT(Read(dataHome + "/applications/foliolens.desktop"),
                HasSubstr("\nExec=" + bin + "/foliolens %f\n"));
}

TEST_F(XdgToolsTest, UnregisteringRemovesTheDefaultAndKeepsOtherLines) {
    const std::string mine =
        "[Default Applications]\ntext/plain=vim.desktop;\n\n[Added Associations]\n"
        "image/png=display-im6.q16.desktop;\n";
    Write(configHome + "/mimeapps.list", mine);

    Register(bin);
    ASSERT_EQ(Default(), "foliolens.desktop");
    EXPECT_THAT(Read(configHome + "/mimeapps.list"), HasSubstr("text/plain=vim.desktop;\n"));
    EXPECT_THAT(Read(configHome + "/mimeapps.list"),
                HasSubstr("image/png=display-im6.q16.desktop;\n"));

    Unregister();
    EXPECT_EQ(Default(), "");
    EXPECT_EQ(Read(configHome + "/mimeapps.list"), mine);
    EXPECT_FALSE(Exists(dataHome + "/applications/foliolens.desktop"));
    EXPECT_FALSE(Exists(dataHome + "/icons/hicolor/48x48/apps/foliolens.png"));
    // The type stays defined, as the registry's extension key stays.
    EXPECT_TRUE(Exists(dataHome + "/mime/packages/foliolens.xml"));
    EXPECT_EQ(FileType(root + "/scan.bin"), "image/vnd.ms-modi");
}

TEST_F(XdgToolsTest, AProgramPathWithSpacesGivesAValidDesktopEntry) {
    if (::system("command -v desktop-file-validate >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "desktop-file-validate is not installed";
    }
    const std::string folder = root + "/my apps/100% \"viewer\"";
    Register(folder);
    const std::string entry = dataHome + "/applications/foliolens.desktop";
    EXPECT_THAT(Read(entry), HasSubstr("\nExec=\"" + root +
                                       "/my apps/100%% \\\\\"viewer\\\\\"/foliolens\" %f\n"));
    EXPECT_EQ(FirstLine("desktop-file-validate '" + entry + "' 2>&1"), "");
}

TEST_F(XdgToolsTest, UnwritableFoldersDoNotStopTheRest) {
    // Files in the way of the data and config folders: every write fails.
    Write(dataHome + "/applications", "in the way");
    Write(dataHome + "/mime", "in the way");
    Write(configHome + "/mimeapps.list/x", "");
    Register(bin);
    EXPECT_EQ(Read(dataHome + "/applications"), "in the way");
    // The registry file and the icons are in other folders and were written.
    EXPECT_TRUE(Exists(dataHome + "/FolioLens/HKEY_CLASSES_ROOT.reg"));
    EXPECT_TRUE(Exists(dataHome + "/icons/hicolor/16x16/apps/foliolens.png"));
    Unregister();
    EXPECT_EQ(Read(dataHome + "/applications"), "in the way");
}

}  // namespace
}  // namespace folio::posix
