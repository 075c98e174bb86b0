#pragma once

#include <cstdint>

#include "platform/global_memory.h"
#include "platform/window_handle.h"

namespace folio {

// Option bits of the print dialog, with the values the Windows dialog uses.
inline constexpr uint32_t kPrintPageNums = 0x2;
inline constexpr uint32_t kPrintDisablePrintToFile = 0x80000;

// The print-dialog record (Windows' PRINTDLG). The printer's settings and names travel
// in global memory blocks holding the byte-exact DEVMODE and DEVNAMES records
// (dialogs/print_records.h). The owner is kept at full width, which the 32-bit
// record's field could not hold on a 64-bit system.
struct PrintDlgRecord {
    static constexpr uint32_t kSize = 66;

    uint32_t structSize = 0;
    WindowHandle owner = 0;
    GlobalHandle devMode = 0;
    GlobalHandle devNames = 0;
    uint32_t flags = 0;
    uint16_t fromPage = 0;
    uint16_t toPage = 0;
    uint16_t minPage = 0;
    uint16_t maxPage = 0;
    uint16_t copies = 0;
};

// The system's modal print dialog. On confirmation it leaves the chosen page range
// in the record and the chosen printer's settings and names in blocks whose handles
// it leaves there (it may free the blocks it was given and hand back new ones).
class PrintDialog {
  public:
    virtual ~PrintDialog() = default;
    // True when the user confirmed, false when they cancelled; a dialog that cannot
    // be shown raises folio::Error.
    virtual bool PrintDlg(PrintDlgRecord& record) = 0;
};

}  // namespace folio
