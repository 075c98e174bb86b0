#include "output/print_command.h"

#include "common/error.h"
#include "common/error_numbers.h"
#include "platform/main_window.h"

namespace folio::output {
namespace {

constexpr bool kPrintAnnotations = true;
constexpr char16_t kNoPrintToFile[] = u"";

bool IsCancel(const Error& e) {
    return e.Number() == errors::kCancel;
}

}  // namespace

void PrintDocument(OutputPorts& ports, bool documentLoaded, imaging::Document* document) {
    if (!documentLoaded || document == nullptr) {
        return;
    }
    dialogs::comDLG& dialogs = ports.dialogs;
    dialogs.OwnerWindow(ports.window.Handle());
    dialogs.CancelError(true);
    dialogs.DialogFlags(static_cast<int32_t>(kPrintDisablePrintToFile));
    dialogs::PrintDialogResult result;
    try {
        result = dialogs.ShowPrintDialog();
    } catch (const Error& e) {
        if (IsCancel(e)) {
            return;
        }
        throw;
    }
    if (result == dialogs::PrintDialogResult::PrinterNotFound) {
        ports.messages.Show(u"The printer \"" + dialogs.UnmatchedPrinter() +
                                u"\" is not installed here; nothing was printed.",
                            kAppTitle, MessageIcon::Exclamation);
        return;
    }
    if (result != dialogs::PrintDialogResult::Chosen) {
        return;
    }
    const int32_t first = dialogs.FromPage();
    const int32_t last = dialogs.ToPage();
    const auto printer = ports.printers.Printer();
    const int16_t copies = printer->GetNumber(kPrinterCopies);
    const std::u16string name = printer->GetText(kPrinterDeviceName);
    try {
        document->PrintOut(first, last, copies, name, kNoPrintToFile, kPrintAnnotations,
                           imaging::kPrintFitToPage);
    } catch (const Error& e) {
        if (IsCancel(e)) {
            return;  // the user stopped the job from its progress dialog
        }
        throw;
    }
}

}  // namespace folio::output
