#pragma once

#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QString>
#include <QStringList>
#include <map>
#include <memory>
#include <optional>

#include "platform/printers.h"

namespace folio::qt {

// A Qt duplex mode as the print dialog's records give it: 1 simplex, 2 long edge
// (automatic counts as long edge), 3 short edge.
int16_t DuplexValue(QPrinter::DuplexMode mode);

// What the user chose in Qt's print dialog beyond what the dialog's records carry:
// paper, margins, page order, collation, colour, and the printing system's own
// options (odd or even pages, pages per sheet, the driver's settings).
struct JobChoices {
    QPageSize pageSize;
    QMarginsF margins;
    QPageLayout::Unit marginUnits = QPageLayout::Millimeter;
    QPrinter::PageOrder pageOrder = QPrinter::FirstPageFirst;
    bool collate = true;
    QPrinter::ColorMode colorMode = QPrinter::Color;
    QStringList systemOptions;  // name, value, name, value...
};

// The choices `printer` carries, and the same given to another printer (its
// orientation, duplex mode, copies and page range are left alone).
JobChoices ChoicesOf(QPrinter& printer);
void ApplyChoices(const JobChoices& choices, QPrinter& printer);

// The runtime's printers from QPrinterInfo (CUPS on Linux). The current printer is the
// system's default, or the first printer when the system names none, picked again
// whenever there is none or it is no longer installed; one the user chose stays. Each
// printer keeps its own orientation, copies and duplex mode for the whole run; the
// print backend reads them through SettingsOf when it sends a job.
class QtPrinters : public PrinterRuntime {
  public:
    QtPrinters();

    std::shared_ptr<PrinterObject> Printer() override;
    void SetPrinter(std::shared_ptr<PrinterObject> printer) override;
    std::vector<std::shared_ptr<PrinterObject>> Printers() override;

    // The settings kept for the printer named `deviceName`; a printer not seen yet
    // gives the ones it starts with.
    PrinterSettings SettingsOf(const std::u16string& deviceName);
    // The print dialog's further choices for a printer, kept for its next jobs and
    // dialogs; none until the dialog was confirmed for it.
    void KeepChoices(const QString& deviceName, JobChoices choices);
    std::optional<JobChoices> ChoicesFor(const QString& deviceName) const;

  private:
    class Entry;
    std::shared_ptr<Entry> EntryFor(const QString& name);

    std::map<QString, std::shared_ptr<Entry>> entries_;
    std::map<QString, JobChoices> choices_;
    std::shared_ptr<Entry> current_;
};

}  // namespace folio::qt
