#pragma once

#include "platform/global_memory.h"
#include "platform/print_dialog.h"

namespace folio::qt {

class QtPrinters;

// QPrintDialog set up from the print-dialog record and its DEVMODE and DEVNAMES
// blocks, writing the user's choice back into new blocks as the system dialog does.
// The printer is pre-selected by its full name from DEVNAMES (DEVMODE holds only 31
// bytes of it, and CUPS queue names are often longer). "All pages" comes back as
// 0xFFFF in both page fields, not as the document's page count. The "Pages" field
// takes one page or one range ("3", "2-5"), which comes back in the page fields; a
// list is refused in the dialog. The choices the records cannot hold (paper, page
// order, collation, odd or even pages and the other printing-system options) are
// kept in `printers` for the chosen printer, and its next dialog starts from them.
class QtPrintDialog : public PrintDialog {
  public:
    explicit QtPrintDialog(GlobalMemory& memory, QtPrinters* printers = nullptr)
        : memory_(memory), printers_(printers) {}

    bool PrintDlg(PrintDlgRecord& record) override;

  private:
    GlobalMemory& memory_;
    QtPrinters* printers_;
};

}  // namespace folio::qt
