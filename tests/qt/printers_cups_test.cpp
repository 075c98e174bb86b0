// The printer adapters on a private CUPS server: the system's default printer is the
// current one, and the print dialog picks it by its full name and hands the choice
// back to the common dialogs; the dialog's page field and its further choices; the
// current printer as printers come and go.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <cstdlib>
#include <memory>
#include <optional>

#include "common/error.h"
#include "dialogs/print_records.h"

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

// A print-dialog record for `device` as the common dialogs fill it.
PrintDlgRecord RecordFor(GlobalMemory& memory, const std::string& device) {
    PrintDlgRecord record;
    record.flags = kPrintDisablePrintToFile;
    record.fromPage = record.toPage = record.maxPage = 0xFFFF;
    record.minPage = 1;
    record.devMode =
        dialogs::NewBlockWith(memory, dialogs::EncodeDevMode({device, 122, 0x1001, 1, 0, 1}));
    record.devNames = dialogs::NewBlockWith(memory, dialogs::EncodeDevNames({"", device, ""}));
    return record;
}

void PressPrint(QPrintDialog* dialog) {
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

class PrintDialogOnCups : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const std::string missing = PrivateCups::MissingParts(); !missing.empty()) {
            GTEST_SKIP() << "No private CUPS server can run here: " << missing;
        }
        cups_.emplace();
        cups_->AddPdfQueue("alpha");
    }
    ~PrintDialogOnCups() override { EXPECT_LE(memory_.LiveBlocks(), 2u); }

    std::optional<PrivateCups> cups_;
    posix::GlobalMemoryTable memory_;
};

// Typed into the "Pages" field: one page or one range goes through as the first and
// last page; anything else is refused inside the dialog, which stays open.
TEST_F(PrintDialogOnCups, PagesFieldTakesOnePageOrOneRange) {
    struct Case {
        const char* typed;
        int from;  // 0: refused
        int to;
    };
    const Case cases[] = {{"3", 3, 3},   {"1", 1, 1},   {"2-5", 2, 5}, {" 2 - 5 ", 2, 5},
                          {"1,3", 0, 0}, {"5-2", 0, 0}, {"0", 0, 0},   {"x", 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        PrintDlgRecord record = RecordFor(memory_, "alpha");
        QString refusal;
        WhenModalShown<QPrintDialog>([&](QPrintDialog* shown) {
            shown->findChild<QRadioButton*>(QStringLiteral("pagesRadioButton"))->setChecked(true);
            shown->findChild<QLineEdit*>(QStringLiteral("pagesLineEdit"))
                ->setText(QString::fromLatin1(c.typed));
            WhenModalShown<QMessageBox>(
                [&refusal, shown](QMessageBox* box) {
                    refusal = box->text();
                    box->accept();
                    // Refused, the dialog is still there to be corrected or cancelled.
                    QTimer::singleShot(0, shown, [shown] { shown->reject(); });
                },
                QDeadlineTimer(c.from == 0 ? 30000 : 2000));
            PressPrint(shown);
        });
        const bool printed = QtPrintDialog(memory_).PrintDlg(record);
        memory_.GlobalFree(record.devMode);
        memory_.GlobalFree(record.devNames);
        if (c.from == 0) {
            EXPECT_FALSE(printed);
            EXPECT_TRUE(refusal.contains(QStringLiteral("one range"))) << refusal.toStdString();
            continue;
        }
        ASSERT_TRUE(printed);
        EXPECT_TRUE(refusal.isEmpty()) << refusal.toStdString();
        EXPECT_EQ(record.fromPage, c.from);
        EXPECT_EQ(record.toPage, c.to);
    }
}

// Page order, collation, odd pages and paper size chosen in the dialog are kept for
// the printer, given to the jobs sent to it, and shown again by its next dialog.
TEST_F(PrintDialogOnCups, FurtherChoicesAreKeptForThePrinter) {
    QtPrinters printers;
    PrintDlgRecord record = RecordFor(memory_, "alpha");
    WhenModalShown<QPrintDialog>([](QPrintDialog* shown) {
        shown->findChild<QCheckBox*>(QStringLiteral("reverse"))->setChecked(true);
        shown->findChild<QCheckBox*>(QStringLiteral("collate"))->setChecked(false);
        auto* pageSet = shown->findChild<QComboBox*>(QStringLiteral("pageSetCombo"));
        pageSet->setCurrentIndex(1);  // odd pages
        // Paper is chosen in the printer's properties, a dialog of its own.
        WhenModalShown<QDialog>([](QDialog* properties) {
            auto* paper = properties->findChild<QComboBox*>(QStringLiteral("pageSizeCombo"));
            ASSERT_NE(paper, nullptr);
            const int a5 = paper->findData(QVariant::fromValue(QPageSize(QPageSize::A5)));
            ASSERT_GE(a5, 0);
            paper->setCurrentIndex(a5);
            properties->accept();
        });
        shown->findChild<QPushButton*>(QStringLiteral("properties"))->click();
        PressPrint(shown);
    });
    ASSERT_TRUE(QtPrintDialog(memory_, &printers).PrintDlg(record));
    memory_.GlobalFree(record.devMode);
    memory_.GlobalFree(record.devNames);

    const auto kept = printers.ChoicesFor(QStringLiteral("alpha"));
    ASSERT_TRUE(kept.has_value());
    QPrinter job(QPrinterInfo::printerInfo(QStringLiteral("alpha")));
    ApplyChoices(*kept, job);
    EXPECT_EQ(job.pageOrder(), QPrinter::LastPageFirst);
    EXPECT_FALSE(job.collateCopies());
    EXPECT_EQ(job.pageLayout().pageSize().id(), QPageSize::A5);
    const QStringList options = ChoicesOf(job).systemOptions;
    const auto pageSet = options.indexOf(QStringLiteral("page-set"));
    ASSERT_GE(pageSet, 0) << options.join(u' ').toStdString();
    EXPECT_EQ(options.value(pageSet + 1), QStringLiteral("odd"));

    record = RecordFor(memory_, "alpha");
    WhenModalShown<QPrintDialog>([](QPrintDialog* shown) {
        EXPECT_TRUE(shown->findChild<QCheckBox*>(QStringLiteral("reverse"))->isChecked());
        EXPECT_EQ(shown->printer()->pageLayout().pageSize().id(), QPageSize::A5);
        shown->reject();
    });
    EXPECT_FALSE(QtPrintDialog(memory_, &printers).PrintDlg(record));
}

// The current printer follows the printers installed while the program runs, and
// a print server that does not answer is named as such.
TEST(PrintersOnCups, CurrentPrinterIsPickedAgainWhenThereIsNoneOrItHasGone) {
    if (const std::string missing = PrivateCups::MissingParts(); !missing.empty()) {
        GTEST_SKIP() << "No private CUPS server can run here: " << missing;
    }
    PrivateCups cups;
    const auto current = [](QtPrinters& printers) {
        return printers.Printer()->GetText(kPrinterDeviceName);
    };
    QtPrinters printers;
    try {
        printers.Printer();
        FAIL() << "a current printer without any printer";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("No printer is installed"), std::string::npos)
            << e.what();
    }
    cups.AddPdfQueue("added-later");
    EXPECT_EQ(current(printers), u"added-later");

    cups.AddPdfQueue("other");
    const std::string admin = "/usr/sbin/lpadmin -h " + cups.Address();
    ASSERT_EQ(std::system((admin + " -d other").c_str()), 0);
    EXPECT_EQ(current(printers), u"added-later") << "a current printer that is there stays";
    ASSERT_EQ(std::system((admin + " -x added-later").c_str()), 0);
    EXPECT_EQ(current(printers), u"other") << "the default replaces one that has gone";

    cups.AddPdfQueue("chosen");
    for (const auto& printer : printers.Printers()) {
        if (printer->GetText(kPrinterDeviceName) == u"chosen") {
            printers.SetPrinter(printer);
        }
    }
    EXPECT_EQ(current(printers), u"chosen") << "the user's choice is kept";

    cups.Stop();
    try {
        printers.Printer();
        FAIL() << "a current printer with no print server";
    } catch (const Error& e) {
        const std::string said = e.what();
        EXPECT_NE(said.find("print server " + cups.Address() + " cannot be reached"),
                  std::string::npos)
            << said;
    }
}

}  // namespace
}  // namespace folio::qt
