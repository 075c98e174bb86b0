#pragma once

#include <QPrinter>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "engine/print/print_job.h"

namespace folio::print {

// How the user set up a printer in the print dialog, in the printing system's
// classic codes: orientation 1 portrait, 2 landscape; duplex 1 simplex, 2 long
// edge, 3 short edge; 0 keeps the printer's own default.
struct PrinterSetup {
    int orientation = 0;
    int duplex = 0;
    // The dialog's further choices (paper, page order, collation, the printing
    // system's options), given to the printer after the two above.
    std::function<void(QPrinter&)> choices;
};

// The setup chosen for a printer, by its device name.
using PrinterSetupLookup = std::function<PrinterSetup(const QString& deviceName)>;

// Prints engine jobs with QPrinter and QPainter on the printers CUPS knows: one
// job per call, the copies made by the printing system, each page drawn band by
// band at the device's resolution.
class QtPrintBackend : public engine::PrintBackend {
  public:
    explicit QtPrintBackend(PrinterSetupLookup setup = {});

    std::vector<std::string> PrinterNames() const override;
    void Print(const engine::PrintJob& job) override;

  private:
    PrinterSetupLookup setup_;
};

}  // namespace folio::print
