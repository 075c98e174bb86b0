#include "output/print_command.h"

#include <gtest/gtest.h>

#include "app/output_fakes.h"

namespace folio::testing {
namespace {

using namespace std::string_literals;

using ::testing::_;
using ::testing::Invoke;
using ::testing::Return;
using ::testing::Throw;

class PrintCommand : public ::testing::Test {
  protected:
    PrintCommand() { rig.printers.current = rig.printers.Add(u"Office"s); }

    void Confirms(const std::string& device, uint16_t from, uint16_t to, int16_t copies) {
        EXPECT_CALL(rig.printDialog, PrintDlg(_))
            .WillOnce(Invoke([=, this](PrintDlgRecord& record) {
                flags = record.flags;
                ChooseInDialog(rig.memory, record, {"drv", device, ""},
                               {device, dialogs::kDevModeSize, 0x1101, 1, copies, 1}, from, to);
                return true;
            }));
    }
    void Run(bool loaded = true) { output::PrintDocument(rig.ports, loaded, &rig.document); }

    OutputRig rig;
    uint32_t flags = 0;
};

TEST_F(PrintCommand, WithoutADocumentNoDialogOpens) {
    Run(false);
}

TEST_F(PrintCommand, CancelledDialogPrintsNothingAndSaysNothing) {
    EXPECT_CALL(rig.printDialog, PrintDlg(_)).WillOnce(Return(false));
    EXPECT_NO_THROW(Run());
}

struct JobCase {
    uint16_t from, to;
    int16_t copies;
    int32_t first, last;
};

class PrintJob : public PrintCommand, public ::testing::WithParamInterface<JobCase> {};

TEST_P(PrintJob, PrintOutReceivesTheSevenValues) {
    Confirms("Office", GetParam().from, GetParam().to, GetParam().copies);
    EXPECT_CALL(rig.document, PrintOut(GetParam().first, GetParam().last, GetParam().copies,
                                       std::u16string(u"Office"), std::u16string(), true, 1));
    Run();
    EXPECT_EQ(flags, kPrintDisablePrintToFile);
}

INSTANTIATE_TEST_SUITE_P(Jobs, PrintJob,
                         ::testing::Values(JobCase{0xFFFF, 0xFFFF, 1, 0, -1},
                                           JobCase{2, 5, 3, 1, 4}));

TEST_F(PrintCommand, ChoiceMatchingNoInstalledPrinterPrintsNothingAndNamesIt) {
    Confirms("Gone", 0xFFFF, 0xFFFF, 1);
    EXPECT_CALL(rig.messages,
                Show(HasText(u"\"Gone\""), std::u16string(u"FolioLens"), MessageIcon::Exclamation));
    Run();
}

TEST_F(PrintCommand, NoPrinterAtAllIsSaidOnceAndNothingPrinted) {
    rig.printers.current.reset();
    EXPECT_CALL(rig.messages, Show(_, std::u16string(u"Printer Error"), MessageIcon::Exclamation))
        .Times(1);
    Run();
}

TEST_F(PrintCommand, FailingPrintOutIsRaisedForTheUserAndACancelledJobIsNot) {
    Confirms("Office", 0xFFFF, 0xFFFF, 1);
    EXPECT_CALL(rig.document, PrintOut(_, _, _, _, _, _, _))
        .WillOnce(Throw(Error(errors::kPrinterError, "the job was refused")));
    EXPECT_THROW(Run(), Error);
    Confirms("Office", 0xFFFF, 0xFFFF, 1);
    EXPECT_CALL(rig.document, PrintOut(_, _, _, _, _, _, _))
        .WillOnce(Throw(Error(errors::kCancel, "The operation was cancelled")));
    EXPECT_NO_THROW(Run());
}

}  // namespace
}  // namespace folio::testing
