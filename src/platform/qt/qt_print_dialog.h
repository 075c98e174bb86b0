#pragma once

#include "platform/global_memory.h"
#include "platform/print_dialog.h"

namespace folio::qt {

// QPrintDialog set up from the print-dialog record and its DEVMODE and DEVNAMES
// blocks, writing the user's choice back into new blocks as the system dialog does.
// The printer is pre-selected by its full name from DEVNAMES (DEVMODE holds only 31
// bytes of it, and CUPS queue names are often longer). "All pages" comes back as
// 0xFFFF in both page fields, not as the document's page count.
class QtPrintDialog : public PrintDialog {
  public:
    explicit QtPrintDialog(GlobalMemory& memory) : memory_(memory) {}

    bool PrintDlg(PrintDlgRecord& record) override;

  private:
    GlobalMemory& memory_;
};

}  // namespace folio::qt
