#include <gtest/gtest.h>

#include "support/dialog_fakes.h"

namespace folio::testing {
namespace {

using namespace std::string_literals;

using dialogs::DevMode;
using dialogs::DevNames;
using dialogs::PrintDialogResult;
using ::testing::_;
using ::testing::Invoke;
using ::testing::Return;

DevMode Settings(const std::string& device, int16_t copies, int16_t orientation, int16_t duplex) {
    return {device, dialogs::kDevModeSize, 0x1101, orientation, copies, duplex};
}

class PrintDialogTest : public ::testing::Test {
  protected:
    // The dialog confirms with `device` chosen, pages from..to and the settings given.
    void Confirm(const std::string& device, uint16_t from = 0xFFFF, uint16_t to = 0xFFFF,
                 int16_t copies = 1, int16_t orientation = 1, int16_t duplex = 1) {
        EXPECT_CALL(rig.printDialog, PrintDlg(_))
            .WillOnce(Invoke([=, this](PrintDlgRecord& record) {
                sent = record;
                sentMode = dialogs::DecodeDevMode(
                    dialogs::ReadBlock(rig.memory, record.devMode, dialogs::kDevModeSize));
                sentNames = dialogs::ReadBlock(rig.memory, record.devNames, dialogs::kDevNamesSize);
                ChooseInDialog(rig.memory, record, {"drv", device, "port"},
                               Settings(device, copies, orientation, duplex), from, to);
                return true;
            }));
    }

    DialogRig rig;
    PrintDlgRecord sent;
    DevMode sentMode;
    std::vector<uint8_t> sentNames;
};

TEST_F(PrintDialogTest, RecordAndBlocksArePresetFromTheCurrentPrinter) {
    const auto printer = rig.printers.Add(u"Office"s);
    printer->numbers[kPrinterOrientation] = 2;
    printer->numbers[kPrinterDuplex] = 3;
    rig.printers.current = printer;
    rig.dialogs.OwnerWindow(42);
    rig.dialogs.DialogFlags(-1);
    Confirm("Office");
    EXPECT_EQ(rig.dialogs.ShowPrintDialog(), PrintDialogResult::Chosen);

    EXPECT_EQ(sent.structSize, 66u);
    EXPECT_EQ(sent.owner, 42u);
    EXPECT_EQ(sent.flags, 0x1C0FFFu);
    EXPECT_EQ(sent.fromPage, 0xFFFF);
    EXPECT_EQ(sent.toPage, 0xFFFF);
    EXPECT_EQ(sent.minPage, 1);
    EXPECT_EQ(sent.maxPage, 0xFFFF);
    EXPECT_EQ(sent.copies, 1);
    EXPECT_EQ(sentMode, (DevMode{"Office", 122, 0x1001, 2, 0, 3}));
    EXPECT_EQ(dialogs::DecodeDevNames(sentNames), (DevNames{"drv", "Office", "port"}));
    EXPECT_EQ(rig.memory.LiveBlocks(), 0u) << "every block is freed";
}

TEST_F(PrintDialogTest, DuplexThatCannotBeReadIsHandedOverAsZero) {
    const auto printer = rig.printers.Add(u"Office"s);
    printer->failing = {kPrinterDuplex};
    rig.printers.current = printer;
    Confirm("Office");
    EXPECT_EQ(rig.dialogs.ShowPrintDialog(), PrintDialogResult::Chosen);
    EXPECT_EQ(sentMode.duplex, 0);
}

struct RangeCase {
    uint16_t from, to;
    int32_t first, last;
};

class PrintDialogRange : public PrintDialogTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(PrintDialogRange, PagesComeBackZeroBasedWithAllPagesAsZeroToMinusOne) {
    rig.printers.current = rig.printers.Add(u"P"s);
    Confirm("P", GetParam().from, GetParam().to);
    ASSERT_EQ(rig.dialogs.ShowPrintDialog(), PrintDialogResult::Chosen);
    EXPECT_EQ(rig.dialogs.FromPage(), GetParam().first);
    EXPECT_EQ(rig.dialogs.ToPage(), GetParam().last);
}

INSTANTIATE_TEST_SUITE_P(Ranges, PrintDialogRange,
                         ::testing::Values(RangeCase{2, 5, 1, 4}, RangeCase{0xFFFF, 0xFFFF, 0, -1},
                                           RangeCase{1, 1, 0, 0}));

struct MatchCase {
    const char* name;
    std::vector<std::u16string> installed;
    std::string chosen;
    int matched;  // index into installed, or -1
};

class PrinterMatch : public PrintDialogTest, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(PrinterMatch, ChosenNameSelectsTheCurrentPrinter) {
    for (const auto& name : GetParam().installed) {
        rig.printers.Add(name);
    }
    const auto before = rig.printers.installed.front();
    rig.printers.current = before;
    Confirm(GetParam().chosen, 2, 3, 3, 2, 2);
    const PrintDialogResult result = rig.dialogs.ShowPrintDialog();
    if (GetParam().matched < 0) {
        EXPECT_EQ(result, PrintDialogResult::PrinterNotFound);
        EXPECT_EQ(rig.dialogs.UnmatchedPrinter(), FromUtf8(GetParam().chosen));
        EXPECT_EQ(rig.printers.current, before);
        EXPECT_TRUE(before->writes.empty()) << "the unchanged printer took the dialog's settings";
        EXPECT_EQ(rig.dialogs.FromPage(), 0);
        EXPECT_EQ(rig.dialogs.ToPage(), 0);
    } else {
        EXPECT_EQ(result, PrintDialogResult::Chosen);
        EXPECT_EQ(rig.printers.current, rig.printers.installed.at(GetParam().matched));
        EXPECT_EQ(rig.dialogs.FromPage(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, PrinterMatch,
    ::testing::Values(
        MatchCase{"FaxIsNotTheEndOfTheName", {u"Fax", u"HP LaserJet 4"}, "HP LaserJet 4", 1},
        MatchCase{
            "ExactNameWinsOverAnEarlierEnd", {u"LaserJet 4", u"HP LaserJet 4"}, "HP LaserJet 4", 1},
        MatchCase{"EndOfNameIsTheFallback", {u"Fax", u"LaserJet 4"}, "HP LaserJet 4", 1},
        MatchCase{"CaseIsIgnored", {u"Fax", u"hp laserjet 4"}, "HP LASERJET 4", 1},
        MatchCase{"EmptyNameMatchesNothing", {u"", u"Fax"}, "Office", -1},
        MatchCase{"NoMatch", {u"Fax", u"Office"}, "Gone", -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PrintDialogTest, ChosenSettingsAreWrittenAndHandedToTheNextDialog) {
    const auto printer = rig.printers.Add(u"Office"s);
    rig.printers.current = printer;
    Confirm("Office", 0xFFFF, 0xFFFF, 3, 2, 2);
    ASSERT_EQ(rig.dialogs.ShowPrintDialog(), PrintDialogResult::Chosen);
    EXPECT_EQ(printer->numbers[kPrinterCopies], 3);
    EXPECT_EQ(printer->numbers[kPrinterOrientation], 2);
    EXPECT_EQ(printer->numbers[kPrinterDuplex], 2);
    EXPECT_EQ(printer->writes,
              (std::vector<int32_t>{kPrinterCopies, kPrinterDuplex, kPrinterOrientation}));
    Confirm("Office");
    rig.dialogs.ShowPrintDialog();
    EXPECT_EQ(sentMode.orientation, 2);
    EXPECT_EQ(sentMode.duplex, 2);
}

TEST_F(PrintDialogTest, AFailingSettingWriteIsSkippedAndTheOthersStillMade) {
    const auto printer = rig.printers.Add(u"Office"s);
    rig.printers.current = printer;
    printer->failing = {kPrinterDuplex};
    Confirm("Office", 0xFFFF, 0xFFFF, 4, 2, 3);
    EXPECT_EQ(rig.dialogs.ShowPrintDialog(), PrintDialogResult::Chosen);
    EXPECT_EQ(printer->numbers[kPrinterCopies], 4);
    EXPECT_EQ(printer->numbers[kPrinterOrientation], 2);
}

TEST_F(PrintDialogTest, CancelChangesNothingAndRaisesOnlyWithTheSwitchOn) {
    const auto printer = rig.printers.Add(u"Office"s);
    rig.printers.current = printer;
    EXPECT_CALL(rig.printDialog, PrintDlg(_)).WillRepeatedly(Return(false));
    rig.dialogs.CancelError(false);
    EXPECT_EQ(rig.dialogs.ShowPrintDialog(), PrintDialogResult::Cancelled);
    rig.dialogs.CancelError(true);
    try {
        rig.dialogs.ShowPrintDialog();
        FAIL() << "no cancel error";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errors::kCancel);
    }
    EXPECT_TRUE(printer->writes.empty());
    EXPECT_EQ(rig.memory.LiveBlocks(), 0u);
}

TEST_F(PrintDialogTest, FailingDialogFreesTheBlocksAndRaises) {
    rig.printers.current = rig.printers.Add(u"Office"s);
    EXPECT_CALL(rig.printDialog, PrintDlg(_)).WillOnce(Invoke([](PrintDlgRecord&) -> bool {
        throw Error(errors::kPrinterError, "no dialog");
    }));
    EXPECT_THROW(rig.dialogs.ShowPrintDialog(), Error);
    EXPECT_EQ(rig.memory.LiveBlocks(), 0u);
}

TEST_F(PrintDialogTest, NoPrinterIsReportedOnceAsPrinterErrorAndEndsTheDialog) {
    EXPECT_CALL(rig.messages, Show(std::u16string(u"No printer is installed"),
                                   std::u16string(u"Printer Error"), MessageIcon::Exclamation))
        .Times(1);
    EXPECT_EQ(rig.dialogs.ShowPrintDialog(), PrintDialogResult::Cancelled);
    EXPECT_EQ(rig.memory.LiveBlocks(), 0u);
}

}  // namespace
}  // namespace folio::testing
