#include <gtest/gtest.h>

#include "support/dialog_fakes.h"

namespace folio::testing {
namespace {

using ::testing::_;
using ::testing::DoAll;
using ::testing::Invoke;
using ::testing::Return;
using ::testing::SaveArg;

// The dialog the platform would show: keeps the record it was given and fills the
// buffer with `chosen` (the rest of the buffer as it came).
auto Chooses(std::u16string chosen, SaveFileRecord* seen = nullptr) {
    return [chosen, seen](SaveFileRecord& record) {
        if (seen != nullptr) {
            *seen = record;
        }
        record.file.replace(0, chosen.size(), chosen);
        return SaveDialogResult::Chosen;
    };
}

struct FilterCase {
    const char* name;
    std::u16string filter;
    std::u16string reaching;
};

class SaveDialogFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(SaveDialogFilter, ReachesThePlatformNulSeparatedWithTwoNulsAppended) {
    DialogRig rig;
    SaveFileRecord seen;
    EXPECT_CALL(rig.saveDialog, GetSaveFileName(_)).WillOnce(Chooses(u"", &seen));
    rig.dialogs.FileFilter(GetParam().filter);
    rig.dialogs.ShowSaveDialog();
    EXPECT_EQ(seen.filter, GetParam().reaching);
    EXPECT_EQ(seen.filterIndex, 0u);
}

using namespace std::string_literals;
INSTANTIATE_TEST_SUITE_P(Cases, SaveDialogFilter,
                         ::testing::Values(FilterCase{"bars", u"A|*.a|B|*.b|",
                                                      u"A\0*.a\0B\0*.b\0\0\0"s},
                                           FilterCase{"nuls", u"TIFF files (*.tiff)\0*.tiff\0"s,
                                                      u"TIFF files (*.tiff)\0*.tiff\0\0\0"s},
                                           FilterCase{"mixed", u"A|*.a\0"s, u"A\0*.a\0\0\0"s},
                                           FilterCase{"empty", u"", u"\0\0"s}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SaveDialog, FilterOf32767CharactersOverflowsBeforeTheDialogOpens) {
    DialogRig rig;
    rig.dialogs.FileFilter(std::u16string(32767, u'x'));
    try {
        rig.dialogs.ShowSaveDialog();
        FAIL() << "no overflow";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errors::kOverflow);
    }
    EXPECT_CALL(rig.saveDialog, GetSaveFileName(_)).WillOnce(Chooses(u""));
    rig.dialogs.FileFilter(std::u16string(32766, u'x'));
    rig.dialogs.ShowSaveDialog();
}

TEST(SaveDialog, RecordCarriesTheSettingsWithHookAndTemplateBitsCleared) {
    DialogRig rig;
    SaveFileRecord seen;
    EXPECT_CALL(rig.saveDialog, GetSaveFileName(_)).Times(2).WillRepeatedly(Chooses(u"", &seen));
    rig.dialogs.OwnerWindow(77);
    rig.dialogs.DialogTitle(u"Save MDI as...");
    rig.dialogs.DialogFlags(0xE2);
    rig.dialogs.InitialFolder(u"");
    rig.dialogs.ShowSaveDialog();
    EXPECT_EQ(seen.structSize, 76u);
    EXPECT_EQ(seen.owner, 77u);
    EXPECT_EQ(seen.title, u"Save MDI as...");
    EXPECT_EQ(seen.flags, 0x02u);
    EXPECT_EQ(seen.initialDir, u"/opt/folio/") << "empty means the program's folder";
    EXPECT_EQ(seen.file, std::u16string(255, u'\0'));
    EXPECT_EQ(seen.maxFile, 255u);
    EXPECT_TRUE(seen.defExt.empty());

    rig.dialogs.InitialFolder(u"/docs/");
    rig.dialogs.DialogFlags(-1);
    rig.dialogs.ShowSaveDialog();
    EXPECT_EQ(seen.initialDir, u"/docs/");
    EXPECT_EQ(seen.flags, 0xFFFFFF1Fu);
}

TEST(SaveDialog, ChosenFileIsTheBufferUpToItsFirstNul) {
    DialogRig rig;
    EXPECT_CALL(rig.saveDialog, GetSaveFileName(_))
        .WillOnce(Chooses(u"/docs/scan\0old"s))
        .WillOnce(Chooses(u"/docs/a b.tif"));
    rig.dialogs.ShowSaveDialog();
    EXPECT_EQ(rig.dialogs.ChosenFile(), u"/docs/scan");
    rig.dialogs.ShowSaveDialog();
    EXPECT_EQ(rig.dialogs.ChosenFile(), u"/docs/a b.tif") << "the buffer starts empty each time";
}

TEST(SaveDialog, CancelEmptiesTheChoiceAndRaisesOnlyWithTheSwitchOn) {
    DialogRig rig;
    EXPECT_CALL(rig.saveDialog, GetSaveFileName(_))
        .WillOnce(Chooses(u"/docs/scan"))
        .WillRepeatedly(Return(SaveDialogResult::Cancelled));
    rig.dialogs.ShowSaveDialog();
    ASSERT_EQ(rig.dialogs.ChosenFile(), u"/docs/scan");
    rig.dialogs.CancelError(false);
    rig.dialogs.ShowSaveDialog();
    EXPECT_EQ(rig.dialogs.ChosenFile(), u"");
    rig.dialogs.CancelError(true);
    try {
        rig.dialogs.ShowSaveDialog();
        FAIL() << "no cancel error";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errors::kCancel);
    }
    EXPECT_EQ(rig.dialogs.ChosenFile(), u"");
}

TEST(SaveDialog, ChoiceLongerThanTheBufferIsReportedNotTakenForACancel) {
    DialogRig rig;
    EXPECT_CALL(rig.saveDialog, GetSaveFileName(_))
        .WillOnce(Return(SaveDialogResult::BufferTooSmall));
    rig.dialogs.CancelError(false);
    try {
        rig.dialogs.ShowSaveDialog();
        FAIL() << "a choice that did not fit went unreported";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errors::kBadFileName);
        EXPECT_NE(std::string(e.what()).find("254"), std::string::npos) << e.what();
    }
    EXPECT_EQ(rig.dialogs.ChosenFile(), u"");
}

}  // namespace
}  // namespace folio::testing
