#pragma once

#include <QPrinter>
#include <QString>
#include <map>
#include <memory>

#include "platform/printers.h"

namespace folio::qt {

// A Qt duplex mode as the print dialog's records give it: 1 simplex, 2 long edge
// (automatic counts as long edge), 3 short edge.
int16_t DuplexValue(QPrinter::DuplexMode mode);

// The runtime's printers from QPrinterInfo (CUPS on Linux). The current printer is the
// system's default at start, or the first printer when the system names none. Each
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

  private:
    class Entry;
    std::shared_ptr<Entry> EntryFor(const QString& name);

    std::map<QString, std::shared_ptr<Entry>> entries_;
    std::shared_ptr<Entry> current_;
};

}  // namespace folio::qt
