// comDLG: the Save As dialog with its filter and flags, and the print dialog (the
// records built from the current printer, the dialog, and the choice carried back to
// the runtime's printers).
#include "dialogs/com_dlg.h"

#include <utility>

#include "common/error.h"
#include "common/error_numbers.h"
#include "common/text.h"
#include "common/utf8.h"
#include "dialogs/print_records.h"

namespace folio::dialogs {
namespace {

// The filter's length is counted as a signed 16-bit number.
constexpr size_t kFilterLimit = 0x7FFF;
constexpr uint32_t kNoHookNorTemplate =
    ~(kSaveEnableHook | kSaveEnableTemplate | kSaveEnableTemplateHandle);

constexpr uint32_t kPrintFlagsKept = 0x1C0FFF;
constexpr uint16_t kAllPages = 0xFFFF;
constexpr char16_t kPrinterErrorTitle[] = u"Printer Error";

// The first printer whose name is `chosen` (ignoring case); failing that, the first
// whose name is the end of it.
std::shared_ptr<PrinterObject> FindPrinter(
    const std::vector<std::shared_ptr<PrinterObject>>& printers, std::u16string_view chosen) {
    std::shared_ptr<PrinterObject> endMatch;
    for (const auto& printer : printers) {
        const std::u16string name = printer->GetText(kPrinterDeviceName);
        if (SameText(name, chosen, false)) {
            return printer;
        }
        // An empty name would be the end of every name.
        if (!endMatch && !name.empty() && name.size() <= chosen.size() &&
            SameText(chosen.substr(chosen.size() - name.size()), name, false)) {
            endMatch = printer;
        }
    }
    return endMatch;
}

// Frees whatever blocks the record holds when the routine leaves, however it leaves.
class BlocksOf {
  public:
    BlocksOf(GlobalMemory& memory, PrintDlgRecord& record) : memory_(memory), record_(record) {}
    ~BlocksOf() { Free(); }
    BlocksOf(const BlocksOf&) = delete;
    BlocksOf& operator=(const BlocksOf&) = delete;

    void Free() {
        for (GlobalHandle* handle : {&record_.devMode, &record_.devNames}) {
            if (*handle != 0) {
                memory_.GlobalFree(*handle);
                *handle = 0;
            }
        }
    }

  private:
    GlobalMemory& memory_;
    PrintDlgRecord& record_;
};

}  // namespace

comDLG::comDLG(ComDlgPorts ports) : ports_(std::move(ports)) {}

void comDLG::RaiseCancel() const {
    throw Error(errors::kCancel, "The dialog was cancelled");
}

void comDLG::PrepareFileDialog() {
    if (filter_.size() >= kFilterLimit) {
        throw Error(errors::kOverflow, "Overflow: the file filter has " +
                                           std::to_string(filter_.size()) +
                                           " characters; a dialog takes fewer than 32767");
    }
    record_ = SaveFileRecord{};
    record_.structSize = SaveFileRecord::kSize;
    record_.owner = owner_;
    record_.flags = static_cast<uint32_t>(flags_) & kNoHookNorTemplate;
    record_.initialDir = initialFolder_.empty() ? ports_.programFolder : initialFolder_;
    record_.file = chosen_;
    record_.file.resize(ports_.fileBufferChars, u'\0');
    record_.maxFile = ports_.fileBufferChars;
    record_.filter = filter_;
    for (char16_t& c : record_.filter) {
        if (c == u'|') {
            c = u'\0';
        }
    }
    record_.filter.append(2, u'\0');
    record_.filterIndex = 0;
    record_.title = title_;
}

void comDLG::ShowSaveDialog() {
    chosen_.clear();
    PrepareFileDialog();
    switch (ports_.saveDialog.GetSaveFileName(record_)) {
        case SaveDialogResult::Chosen: {
            const size_t end = record_.file.find(u'\0');
            if (end != std::u16string::npos) {
                chosen_ = record_.file.substr(0, end);
            }
            return;
        }
        case SaveDialogResult::BufferTooSmall:
            // Not a cancel: the user chose a file, and must learn why nothing happens.
            throw Error(errors::kBadFileName,
                        "The chosen file name is too long: a path here may have at most " +
                            std::to_string(record_.maxFile - 1) + " bytes");
        case SaveDialogResult::Cancelled:
            break;
    }
    if (cancelError_) {
        RaiseCancel();
    }
}

// The print dialog.

std::vector<uint8_t> comDLG::TakeBlock(GlobalHandle& handle, size_t size) {
    std::vector<uint8_t> bytes = ReadBlock(ports_.memory, handle, size);
    ports_.memory.GlobalFree(handle);
    handle = 0;
    return bytes;
}

PrintDialogResult comDLG::ShowPrintDialog() {
    PrintDlgRecord record;
    record.structSize = PrintDlgRecord::kSize;
    record.owner = owner_;
    record.flags = static_cast<uint32_t>(flags_) & kPrintFlagsKept;
    record.fromPage = kAllPages;
    record.toPage = kAllPages;
    record.minPage = 1;
    record.maxPage = kAllPages;
    record.copies = 1;

    DevMode settings;
    std::shared_ptr<PrinterObject> current;
    try {
        current = ports_.printers.Printer();
        settings.deviceName = ports_.codec.ToAnsi(current->GetText(kPrinterDeviceName));
        settings.size = kDevModeSize;
        settings.fields = kDevModeOrientation | kDevModeDuplex;
        settings.orientation = current->GetNumber(kPrinterOrientation);
    } catch (const std::exception& e) {
        // Said once, then the dialog ends: a lasting failure (no printer at all) must
        // not bring the message back at every step.
        ports_.messages.Show(FromUtf8(e.what()), kPrinterErrorTitle, MessageIcon::Exclamation);
        return PrintDialogResult::Cancelled;
    }
    try {
        settings.duplex = current->GetNumber(kPrinterDuplex);
    } catch (const std::exception&) {
        // A printer without a duplex setting is handed over with 0.
    }

    BlocksOf blocks(ports_.memory, record);
    record.devMode = NewBlockWith(ports_.memory, EncodeDevMode(settings));
    const DevNames names{ports_.codec.ToAnsi(current->GetText(kPrinterDriverName)),
                         ports_.codec.ToAnsi(current->GetText(kPrinterDeviceName)),
                         ports_.codec.ToAnsi(current->GetText(kPrinterPort))};
    record.devNames = NewBlockWith(ports_.memory, EncodeDevNames(names));

    if (!ports_.printDialog.PrintDlg(record)) {
        blocks.Free();
        if (cancelError_) {
            RaiseCancel();
        }
        return PrintDialogResult::Cancelled;
    }
    const std::vector<uint8_t> chosenNames = TakeBlock(record.devNames, kDevNamesSize);
    const DevMode chosenSettings = DecodeDevMode(TakeBlock(record.devMode, kDevModeSize));

    const std::u16string chosen = ports_.codec.FromAnsi(DeviceNameAfterFirstNul(chosenNames));
    const auto printer = FindPrinter(ports_.printers.Printers(), chosen);
    if (!printer) {
        // Printing the choice on some other printer, with a stale page range, would
        // be wrong; the caller tells the user instead.
        unmatched_ = chosen;
        return PrintDialogResult::PrinterNotFound;
    }
    unmatched_.clear();
    ports_.printers.SetPrinter(printer);
    const auto from = static_cast<int16_t>(record.fromPage);
    const auto to = static_cast<int16_t>(record.toPage);
    fromPage_ = from == -1 ? 0 : from - 1;
    toPage_ = to == -1 ? static_cast<int16_t>(record.maxPage) : to - 1;
    WriteSettings(chosenSettings);
    return PrintDialogResult::Chosen;
}

void comDLG::WriteSettings(const DevMode& settings) {
    const std::pair<int32_t, int16_t> writes[] = {{kPrinterCopies, settings.copies},
                                                  {kPrinterDuplex, settings.duplex},
                                                  {kPrinterOrientation, settings.orientation}};
    for (const auto& [property, value] : writes) {
        try {
            ports_.printers.Printer()->SetNumber(property, value);
        } catch (const std::exception&) {
            // A setting the printer does not take is left as it was; the rest still go.
        }
    }
}

}  // namespace folio::dialogs
