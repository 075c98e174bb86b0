#include "platform/qt/qt_print_dialog.h"

#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <limits>

#include "dialogs/print_records.h"
#include "platform/qt/qt_printers.h"
#include "platform/qt/window_handles.h"

namespace folio::qt {
namespace {

using dialogs::DevMode;
using dialogs::DevNames;

constexpr uint32_t kNoPageNums = 0x8;
constexpr uint16_t kAllPages = 0xFFFF;

QPrinter::DuplexMode DuplexMode(int16_t value) {
    switch (value) {
        case 2:
            return QPrinter::DuplexLongSide;
        case 3:
            return QPrinter::DuplexShortSide;
    }
    return QPrinter::DuplexNone;
}

// The printer the blocks describe, with the settings they carry.
void SetUp(QPrinter& printer, const DevMode& settings) {
    if ((settings.fields & dialogs::kDevModeOrientation) != 0) {
        printer.setPageOrientation(settings.orientation == 2 ? QPageLayout::Landscape
                                                             : QPageLayout::Portrait);
    }
    if ((settings.fields & dialogs::kDevModeDuplex) != 0 && settings.duplex > 0) {
        printer.setDuplex(DuplexMode(settings.duplex));
    }
    if ((settings.fields & dialogs::kDevModeCopies) != 0 && settings.copies > 0) {
        printer.setCopyCount(settings.copies);
    }
}

DevMode ChosenSettings(QPrinter& printer, const QByteArray& name) {
    DevMode settings;
    settings.deviceName = name.toStdString();
    settings.size = dialogs::kDevModeSize;
    settings.fields =
        dialogs::kDevModeOrientation | dialogs::kDevModeCopies | dialogs::kDevModeDuplex;
    settings.orientation = printer.pageLayout().orientation() == QPageLayout::Landscape ? 2 : 1;
    settings.copies = static_cast<int16_t>(
        std::clamp(printer.copyCount(), 1, int{std::numeric_limits<int16_t>::max()}));
    settings.duplex = DuplexValue(printer.duplex());
    return settings;
}

}  // namespace

bool QtPrintDialog::PrintDlg(PrintDlgRecord& record) {
    const DevNames given = dialogs::DecodeDevNames(
        dialogs::ReadBlock(memory_, record.devNames, dialogs::kDevNamesSize));
    const DevMode settings =
        dialogs::DecodeDevMode(dialogs::ReadBlock(memory_, record.devMode, dialogs::kDevModeSize));

    const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(given.device));
    QPrinter printer(info, QPrinter::HighResolution);
    SetUp(printer, settings);

    QPrintDialog dialog(&printer, WidgetOf(record.owner));
    dialog.setOption(QAbstractPrintDialog::PrintToFile,
                     (record.flags & kPrintDisablePrintToFile) == 0);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, (record.flags & kNoPageNums) == 0);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setMinMax(record.minPage, record.maxPage);
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }

    const QByteArray name = printer.printerName().toUtf8();
    const DevNames chosen{
        QPrinterInfo(printer).makeAndModel().toStdString(), name.toStdString(), {}};
    const auto names = dialogs::EncodeDevNames(chosen);
    const auto mode = dialogs::EncodeDevMode(ChosenSettings(printer, name));
    // New blocks for the choice, as the system dialog hands back; the given ones go.
    const GlobalHandle newNames = dialogs::NewBlockWith(memory_, names);
    const GlobalHandle newMode = dialogs::NewBlockWith(memory_, mode);
    memory_.GlobalFree(record.devNames);
    memory_.GlobalFree(record.devMode);
    record.devNames = newNames;
    record.devMode = newMode;
    if (printer.printRange() == QPrinter::PageRange) {
        record.fromPage = static_cast<uint16_t>(printer.fromPage());
        record.toPage = static_cast<uint16_t>(printer.toPage());
    } else {
        record.fromPage = kAllPages;
        record.toPage = kAllPages;
    }
    record.copies = 1;  // the copies travel in DEVMODE
    return true;
}

}  // namespace folio::qt
