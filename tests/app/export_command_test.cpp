#include "output/export_command.h"

#include <gtest/gtest.h>

#include "app/output_fakes.h"

namespace folio::testing {
namespace {

using namespace std::string_literals;

using ::testing::_;
using ::testing::InSequence;
using ::testing::Invoke;
using ::testing::Return;
using ::testing::Throw;

constexpr WindowHandle kOwner = 9;

class ExportCommand : public ::testing::Test {
  protected:
    void Remembered(const std::u16string& folder) {
        EXPECT_CALL(rig.settings, GetSetting(u"FolioLens"s, u"save"s, u"fo"s, u"c:\\"s))
            .WillOnce(Return(folder));
    }
    // The user picks `chosen` in the dialog.
    void Picks(const std::u16string& chosen) {
        EXPECT_CALL(rig.saveDialog, GetSaveFileName(_))
            .WillOnce(Invoke([this, chosen](SaveFileRecord& record) {
                shown = record;
                record.file.replace(0, chosen.size(), chosen);
                return chosen.empty() ? SaveDialogResult::Cancelled : SaveDialogResult::Chosen;
            }));
    }
    ExportCommand() { ON_CALL(rig.window, Handle()).WillByDefault(Return(kOwner)); }
    void Run(bool loaded = true) { output::ExportToTiff(rig.ports, loaded, &rig.document); }

    OutputRig rig;
    SaveFileRecord shown;
};

TEST_F(ExportCommand, WithoutADocumentNothingHappens) {
    Run(false);
    output::ExportToTiff(rig.ports, true, nullptr);
}

TEST_F(ExportCommand, FirstExportOpensInTheDefaultFolderWithTheExportSettings) {
    Remembered(u"c:\\"s);
    Picks(u""s);
    Run();
    EXPECT_EQ(shown.initialDir, u"c:\\"s);
    EXPECT_EQ(shown.title, u"Save MDI as..."s);
    EXPECT_EQ(shown.filter, std::u16string(u"TIFF files (*.tiff)\0*.tiff\0\0\0", 29));
    EXPECT_EQ(shown.flags, kSaveOverwritePrompt);
    EXPECT_EQ(shown.owner, kOwner);
}

struct ChoiceCase {
    const char* name;
    std::u16string chosen;
    std::u16string written;
};

class ExportChoice : public ExportCommand, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(ExportChoice, WritesTheTiffThenRemembersTheFolder) {
    Remembered(u"C:\\docs\\"s);
    Picks(GetParam().chosen);
    // Only a name the dialog did not ask about is looked up.
    if (GetParam().written != GetParam().chosen) {
        EXPECT_CALL(rig.files, GetFileAttributes(GetParam().written))
            .WillOnce(Return(kInvalidAttributes));
    }
    {
        InSequence order;
        EXPECT_CALL(rig.document, SaveAs(GetParam().written, 1, 1));
        EXPECT_CALL(rig.settings, SaveSetting(u"FolioLens"s, u"save"s, u"fo"s, u"C:\\docs\\"s));
    }
    Run();
}

INSTANTIATE_TEST_SUITE_P(
    Names, ExportChoice,
    ::testing::Values(ChoiceCase{"NoExtension", u"C:\\docs\\scan", u"C:\\docs\\scan.tiff"},
                      ChoiceCase{"TiffKept", u"C:\\docs\\old.tiff", u"C:\\docs\\old.tiff"},
                      ChoiceCase{"TifAnyCaseKept", u"C:\\docs\\OLD.Tif", u"C:\\docs\\OLD.Tif"},
                      ChoiceCase{"OtherExtension", u"C:\\docs\\a.tiff.bak",
                                 u"C:\\docs\\a.tiff.bak.tiff"s}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExportCommand, ChoiceWithoutAFolderRemembersTheEmptyFolder) {
    Remembered(u""s);
    Picks(u"scan"s);
    EXPECT_CALL(rig.files, GetFileAttributes(u"scan.tiff"s)).WillOnce(Return(kInvalidAttributes));
    EXPECT_CALL(rig.document, SaveAs(u"scan.tiff"s, 1, 1));
    EXPECT_CALL(rig.settings, SaveSetting(u"FolioLens"s, u"save"s, u"fo"s, u""s));
    Run();
    EXPECT_EQ(shown.initialDir, u"/opt/folio/"s) << "an empty folder opens the program's own";
}

TEST_F(ExportCommand, ExistingAppendedNameIsOnlyReplacedAfterYes) {
    for (const bool yes : {false, true}) {
        Remembered(u"C:\\docs\\"s);
        Picks(u"C:\\docs\\scan"s);
        EXPECT_CALL(rig.files, GetFileAttributes(u"C:\\docs\\scan.tiff"s)).WillOnce(Return(0x20));
        EXPECT_CALL(rig.questions, AskYesNo(HasText(u"C:\\docs\\scan.tiff"s), _))
            .WillOnce(Return(yes));
        if (yes) {
            EXPECT_CALL(rig.document, SaveAs(u"C:\\docs\\scan.tiff"s, 1, 1));
            EXPECT_CALL(rig.settings, SaveSetting(_, u"save"s, u"fo"s, u"C:\\docs\\"s));
        }
        Run();
        ::testing::Mock::VerifyAndClearExpectations(&rig.document);
        ::testing::Mock::VerifyAndClearExpectations(&rig.settings);
    }
}

TEST_F(ExportCommand, CancelWritesNothing) {
    Remembered(u"C:\\docs\\"s);
    Picks(u""s);
    Run();
}

TEST_F(ExportCommand, FailingExportKeepsTheOldFolderAndRaises) {
    Remembered(u"C:\\docs\\"s);
    Picks(u"D:\\full\\scan.tiff"s);
    EXPECT_CALL(rig.document, SaveAs(_, 1, 1))
        .WillOnce(Throw(Error(errors::kDiskFull, "Disk full")));
    EXPECT_THROW(Run(), Error);
}

TEST_F(ExportCommand, ExportCancelledFromItsProgressEndsQuietly) {
    Remembered(u"C:\\docs\\"s);
    Picks(u"C:\\docs\\scan.tiff"s);
    EXPECT_CALL(rig.document, SaveAs(_, 1, 1))
        .WillOnce(Throw(Error(errors::kCancel, "The operation was cancelled")));
    EXPECT_NO_THROW(Run());
}

// As with opening: the user is told, the dialog starts in the default folder and
// the export goes on.
TEST_F(ExportCommand, UnreadableSettingsAreReportedAndTheExportGoesOn) {
    EXPECT_CALL(rig.settings, GetSetting(u"FolioLens"s, u"save"s, u"fo"s, u"c:\\"s))
        .WillOnce(
            Throw(Error(errors::kInvalidFileFormat, "The settings file s.conf cannot be read")));
    EXPECT_CALL(rig.messages, Show(std::u16string(u"The settings file s.conf cannot be read\n\n"
                                                  u"The dialog starts in c:\\"),
                                   std::u16string(u"FolioLens"), MessageIcon::Error));
    Picks(u"C:\\docs\\scan.tiff"s);
    EXPECT_CALL(rig.document, SaveAs(u"C:\\docs\\scan.tiff"s, 1, 1));
    EXPECT_CALL(rig.settings, SaveSetting(u"FolioLens"s, u"save"s, u"fo"s, u"C:\\docs\\"s));
    EXPECT_NO_THROW(Run());
    EXPECT_EQ(shown.initialDir, u"c:\\"s);
}

TEST_F(ExportCommand, FolderThatCannotBeRememberedIsReportedAsSuchAfterTheExport) {
    Remembered(u"C:\\docs\\"s);
    Picks(u"C:\\docs\\scan.tiff"s);
    EXPECT_CALL(rig.document, SaveAs(u"C:\\docs\\scan.tiff"s, 1, 1));
    EXPECT_CALL(rig.settings, SaveSetting(_, _, _, _))
        .WillOnce(Throw(Error(errors::kPermissionDenied, "settings file is read-only")));
    EXPECT_CALL(
        rig.messages,
        Show(std::u16string(u"The document was exported, but its folder could not be remembered: "
                            u"settings file is read-only"s),
             std::u16string(u"FolioLens"), MessageIcon::Error));
    EXPECT_NO_THROW(Run());
}

}  // namespace
}  // namespace folio::testing
