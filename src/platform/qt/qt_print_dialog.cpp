#include "platform/qt/qt_print_dialog.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <algorithm>
#include <limits>
#include <optional>
#include <utility>

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

// One page ("3") or one range ("2-5") within [first, last]; nothing for anything else.
std::optional<std::pair<int, int>> OnePageRange(const QString& text, int first, int last) {
    static const QRegularExpression pattern(QStringLiteral(R"(^\s*(\d+)\s*(?:-\s*(\d+)\s*)?$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    bool fromOk = false;
    bool toOk = true;
    const int from = match.captured(1).toInt(&fromOk);
    const int to = match.hasCaptured(2) ? match.captured(2).toInt(&toOk) : from;
    if (!fromOk || !toOk || from < first || to > last || from > to) {
        return std::nullopt;
    }
    return std::make_pair(from, to);
}

// Qt's print dialog with its "Pages" field made to work: Qt 6.4 turns down every text
// typed there as wrong syntax. A job prints one range, so the field takes one page or
// one range and hands it on through the dialog's from-to fields.
class PageRangeDialog : public QPrintDialog {
  public:
    using QPrintDialog::QPrintDialog;

    void setVisible(bool visible) override {
        QPrintDialog::setVisible(visible);
        if (visible && !testOption(PrintPageRange)) {
            // Without page numbers Qt would offer its own page filter in their place.
            if (auto* range = findChild<QGroupBox*>(QStringLiteral("gbPrintRange"))) {
                range->hide();
            }
        }
    }

    void accept() override {
        auto* pages = findChild<QRadioButton*>(QStringLiteral("pagesRadioButton"));
        auto* text = findChild<QLineEdit*>(QStringLiteral("pagesLineEdit"));
        auto* range = findChild<QRadioButton*>(QStringLiteral("printRange"));
        auto* from = findChild<QSpinBox*>(QStringLiteral("from"));
        auto* to = findChild<QSpinBox*>(QStringLiteral("to"));
        if (pages != nullptr && pages->isChecked() && text != nullptr && range != nullptr &&
            from != nullptr && to != nullptr) {
            const auto chosen = OnePageRange(text->text(), minPage(), maxPage());
            if (!chosen) {
                QMessageBox::warning(
                    this, tr("Pages"),
                    tr("\"%1\" is not one page or one range of pages: type one page, such as "
                       "3, or one range, such as 2-5.")
                        .arg(text->text()));
                return;
            }
            from->setValue(chosen->first);
            to->setValue(chosen->second);
            range->setChecked(true);
        }
        QPrintDialog::accept();
    }
};

}  // namespace

bool QtPrintDialog::PrintDlg(PrintDlgRecord& record) {
    const DevNames given = dialogs::DecodeDevNames(
        dialogs::ReadBlock(memory_, record.devNames, dialogs::kDevNamesSize));
    const DevMode settings =
        dialogs::DecodeDevMode(dialogs::ReadBlock(memory_, record.devMode, dialogs::kDevModeSize));

    const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(given.device));
    QPrinter printer(info, QPrinter::HighResolution);
    if (printers_ != nullptr) {
        if (const auto kept = printers_->ChoicesFor(printer.printerName())) {
            ApplyChoices(*kept, printer);
        }
    }
    SetUp(printer, settings);

    PageRangeDialog dialog(&printer, WidgetOf(record.owner));
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

    if (printers_ != nullptr) {
        printers_->KeepChoices(printer.printerName(), ChoicesOf(printer));
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
