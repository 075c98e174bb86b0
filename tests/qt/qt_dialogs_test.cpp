#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <cstdlib>

#include "common/error.h"
#include "common/error_numbers.h"
#include "dialogs/print_records.h"
#include "platform/posix/posix_ports.h"
#include "platform/qt/qstring_conversion.h"
#include "platform/qt/qt_print_dialog.h"
#include "platform/qt/qt_printers.h"
#include "platform/qt/qt_save_file_dialog.h"
#include "support/modal_driver.h"

namespace folio::qt {
namespace {

using namespace std::string_literals;
using viewer::testing::WhenModalShown;

// No printing system: a port nothing listens on, set before the first CUPS call
// (the CUPS library reads it once).
[[maybe_unused]] const int noPrintingSystem = setenv("CUPS_SERVER", "127.0.0.1:1", 1);

SaveFileRecord SaveRecord(const QString& folder, uint32_t bufferChars) {
    SaveFileRecord record;
    record.structSize = SaveFileRecord::kSize;
    record.title = u"Save MDI as...";
    record.filter = u"TIFF files (*.tiff)\0*.tiff\0\0\0"s;
    record.initialDir = FromQString(folder);
    record.flags = kSaveOverwritePrompt;
    record.file.assign(bufferChars, u'\0');
    record.maxFile = bufferChars;
    return record;
}

// Types `name` into the shown save dialog and accepts it.
void TypeAndAccept(const QString& name, QStringList* filters = nullptr) {
    WhenModalShown<QFileDialog>([name, filters](QFileDialog* dialog) {
        if (filters != nullptr) {
            *filters = dialog->nameFilters();
        }
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Save MDI as..."));
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(edit, nullptr);
        edit->setText(name);
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog's own accept checks the name
    });
}

TEST(QtSaveDialog, TypedNameComesBackInTheFolderShownWithNoExtensionAdded) {
    QTemporaryDir folder;
    QtSaveFileDialog dialog;
    SaveFileRecord record = SaveRecord(folder.path(), 4096);
    QStringList filters;
    TypeAndAccept(QStringLiteral("scan"), &filters);
    ASSERT_EQ(dialog.GetSaveFileName(record), SaveDialogResult::Chosen);
    EXPECT_EQ(record.file.substr(0, record.file.find(u'\0')), FromQString(folder.filePath("scan")));
    // Shown as "TIFF files (*.tiff)": the dialog hides the pattern group it filters by.
    EXPECT_EQ(filters, QStringList{QStringLiteral("TIFF files (*.tiff) (*.tiff)")});

    // A buffer too small for the path in UTF-8 is refused, not cut.
    record = SaveRecord(folder.path(), static_cast<uint32_t>(folder.path().size()) + 5);
    TypeAndAccept(QStringLiteral("\u00e9\u00e9"));
    EXPECT_EQ(dialog.GetSaveFileName(record), SaveDialogResult::BufferTooSmall);
}

TEST(QtPrintDialog, AcceptedDialogHandsBackNewBlocksAndAllPages) {
    posix::GlobalMemoryTable memory;
    PrintDlgRecord record;
    record.flags = kPrintDisablePrintToFile;
    record.fromPage = record.toPage = record.maxPage = 0xFFFF;
    record.minPage = 1;
    record.devMode =
        dialogs::NewBlockWith(memory, dialogs::EncodeDevMode({"Nowhere", 122, 0x1001, 2, 0, 1}));
    record.devNames = dialogs::NewBlockWith(memory, dialogs::EncodeDevNames({"", "Nowhere", ""}));
    const GlobalHandle givenMode = record.devMode;
    const GlobalHandle givenNames = record.devNames;

    bool shown = false;
    WhenModalShown<QPrintDialog>([&shown](QPrintDialog* dialog) {
        shown = true;
        EXPECT_FALSE(dialog->testOption(QAbstractPrintDialog::PrintToFile));
        EXPECT_EQ(dialog->printer()->pageLayout().orientation(), QPageLayout::Landscape);
        dialog->accept();
    });
    QtPrintDialog dialog(memory);
    ASSERT_TRUE(dialog.PrintDlg(record));
    EXPECT_TRUE(shown);
    EXPECT_EQ(memory.GlobalSize(givenMode), 0u) << "the given blocks are freed";
    EXPECT_EQ(memory.GlobalSize(givenNames), 0u);
    EXPECT_EQ(memory.LiveBlocks(), 2u);
    const dialogs::DevMode chosen =
        dialogs::DecodeDevMode(dialogs::ReadBlock(memory, record.devMode, 122));
    EXPECT_EQ(chosen.size, 122);
    EXPECT_EQ(chosen.orientation, 2);
    EXPECT_EQ(chosen.copies, 1);
    EXPECT_EQ(record.fromPage, 0xFFFF);
    EXPECT_EQ(record.toPage, 0xFFFF);
}

TEST(QtPrinters, WithoutAPrintingSystemThereIsNoPrinterAndTheServerIsNamed) {
    QtPrinters printers;
    EXPECT_TRUE(printers.Printers().empty());
    try {
        printers.Printer();
        FAIL() << "a current printer without any printer";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errors::kPrinterError);
        EXPECT_NE(std::string(e.what()).find("print server 127.0.0.1:1 cannot be reached"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(printers.SettingsOf(u"Unknown"), PrinterSettings{});
}

}  // namespace
}  // namespace folio::qt
