// The printer adapters on a private CUPS server: the system's default printer is the
// current one, and the print dialog picks it by its full name and hands the choice
// back to the common dialogs.
#include <gtest/gtest.h>

#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <cstdlib>
#include <memory>

#include "dialogs/com_dlg.h"
#include "platform/posix/posix_ports.h"
#include "platform/qt/qt_print_dialog.h"
#include "platform/qt/qt_printers.h"
#include "support/modal_driver.h"
#include "support/private_cups.h"

namespace folio::qt {
namespace {

using print::testing::PrivateCups;
using viewer::testing::WhenModalShown;

// Longer than the 31 bytes DEVMODE keeps of a name.
const std::string kLongName = "second-floor-copier-by-the-stairs-in-building-b";

class NoSaveDialog : public SaveFileDialog {
  public:
    SaveDialogResult GetSaveFileName(SaveFileRecord&) override {
        return SaveDialogResult::Cancelled;
    }
};

class NoMessages : public MessageBox {
  public:
    void Show(const std::u16string& text, const std::u16string&, MessageIcon) override {
        ADD_FAILURE() << "unexpected message: " << std::string(text.begin(), text.end());
    }
};

TEST(PrintersOnCups, DefaultPrinterIsPickedByItsFullNameAndTakesTheChoice) {
    if (const std::string missing = PrivateCups::MissingParts(); !missing.empty()) {
        GTEST_SKIP() << "No private CUPS server can run here: " << missing;
    }
    PrivateCups cups;
    cups.AddPdfQueue("alpha");
    cups.AddPdfQueue(kLongName);
    ASSERT_EQ(std::system(("/usr/sbin/lpadmin -h " + cups.Address() + " -d " + kLongName).c_str()),
              0);

    QtPrinters printers;
    ASSERT_EQ(printers.Printers().size(), 2u);
    EXPECT_EQ(printers.Printer()->GetText(kPrinterDeviceName),
              std::u16string(kLongName.begin(), kLongName.end()));
    printers.Printer()->SetNumber(kPrinterOrientation, 2);

    posix::GlobalMemoryTable memory;
    QtPrintDialog dialog(memory);
    NoSaveDialog saveDialog;
    NoMessages messages;
    posix::Utf8TextCodec codec;
    dialogs::comDLG comDLG(
        dialogs::ComDlgPorts{saveDialog, dialog, printers, memory, messages, codec, u"/", 4096});
    WhenModalShown<QPrintDialog>([](QPrintDialog* shown) {
        EXPECT_EQ(shown->printer()->printerName().toStdString(), kLongName);
        EXPECT_EQ(shown->printer()->pageLayout().orientation(), QPageLayout::Landscape);
        shown->accept();
    });
    ASSERT_EQ(comDLG.ShowPrintDialog(), dialogs::PrintDialogResult::Chosen);
    EXPECT_EQ(printers.Printer()->GetText(kPrinterDeviceName),
              std::u16string(kLongName.begin(), kLongName.end()));
    EXPECT_EQ(comDLG.FromPage(), 0);
    EXPECT_EQ(comDLG.ToPage(), -1);
    EXPECT_EQ(printers.SettingsOf(std::u16string(kLongName.begin(), kLongName.end())).orientation,
              2)
        << "the print backend gets the orientation the dialog gave back";
    EXPECT_EQ(memory.LiveBlocks(), 0u);
}

}  // namespace
}  // namespace folio::qt
