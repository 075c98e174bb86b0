#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace folio {

// Properties of a printer object, by the dispatch ids the runtime gives them.
inline constexpr int32_t kPrinterDeviceName = 65564;   // string
inline constexpr int32_t kPrinterDriverName = 65565;   // string
inline constexpr int32_t kPrinterPort = 65566;         // string
inline constexpr int32_t kPrinterOrientation = 65567;  // 16-bit: 1 portrait, 2 landscape
inline constexpr int32_t kPrinterCopies = 65570;       // 16-bit
inline constexpr int32_t kPrinterDuplex = 65573;  // 16-bit: 1 simplex, 2 long edge, 3 short edge

// What the user chose for a printer in the print dialog, with the values the dialog's
// records use; kept per printer and used when a job is sent to it.
struct PrinterSettings {
    int16_t orientation = 1;  // 1 portrait, 2 landscape
    int16_t copies = 1;
    int16_t duplex = 1;  // 1 simplex, 2 long edge (vertical), 3 short edge (horizontal)

    bool operator==(const PrinterSettings&) const = default;
};

// One printer as the runtime offers it. Reading or writing a property the printer
// cannot give or take raises folio::Error.
class PrinterObject {
  public:
    virtual ~PrinterObject() = default;
    virtual std::u16string GetText(int32_t dispatchId) = 0;
    virtual int16_t GetNumber(int32_t dispatchId) = 0;
    virtual void SetNumber(int32_t dispatchId, int16_t value) = 0;
};

// The runtime's printers: the current one (`Printer`, replaceable) and the installed
// ones (`Printers`, always in the same order).
class PrinterRuntime {
  public:
    virtual ~PrinterRuntime() = default;
    // The current printer; raises folio::Error when there is none.
    virtual std::shared_ptr<PrinterObject> Printer() = 0;
    // Makes `printer`, one of Printers(), the current printer with all its properties.
    virtual void SetPrinter(std::shared_ptr<PrinterObject> printer) = 0;
    virtual std::vector<std::shared_ptr<PrinterObject>> Printers() = 0;
};

}  // namespace folio
