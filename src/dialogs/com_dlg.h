#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dialogs/print_records.h"
#include "platform/global_memory.h"
#include "platform/message_box.h"
#include "platform/print_dialog.h"
#include "platform/printers.h"
#include "platform/save_file_dialog.h"
#include "platform/text_codec.h"
#include "platform/window_handle.h"

namespace folio::dialogs {

// What the common dialogs reach of the outside world.
struct ComDlgPorts {
    SaveFileDialog& saveDialog;
    PrintDialog& printDialog;
    PrinterRuntime& printers;
    GlobalMemory& memory;
    MessageBox& messages;
    const TextCodec& codec;
    // The folder that holds the program, with its trailing separator: where a save
    // dialog without an initial folder opens.
    std::u16string programFolder;
    // Characters the save dialog's file-name buffer holds, its NUL included (the
    // platform's path limit).
    uint32_t fileBufferChars;
};

// How a print dialog ended.
enum class PrintDialogResult {
    Cancelled,        // closed without a choice (or no printer could be read)
    Chosen,           // confirmed; the current printer is the chosen one
    PrinterNotFound,  // confirmed, but no installed printer has the chosen name
};

// The common-dialog module: the settings of the next save or print dialog and the
// results of the last one, kept for the whole run and shared by the export and print
// commands. Setters store their argument unchanged; nothing resets the settings.
class comDLG {
  public:
    explicit comDLG(ComDlgPorts ports);

    void OwnerWindow(WindowHandle owner) { owner_ = owner; }
    void DialogTitle(std::u16string title) { title_ = std::move(title); }
    void FileFilter(std::u16string filter) { filter_ = std::move(filter); }
    void InitialFolder(std::u16string folder) { initialFolder_ = std::move(folder); }
    void DialogFlags(int32_t flags) { flags_ = flags; }
    void CancelError(bool raise) { cancelError_ = raise; }

    // Runs the save-file dialog. A cancel leaves ChosenFile() empty, or raises the
    // cancel error while the cancel-error switch is on; a choice longer than the
    // file-name buffer raises an error saying so, whatever the switch.
    void ShowSaveDialog();
    // The full path chosen in the last save dialog, or "" when it was cancelled.
    std::u16string ChosenFile() const { return chosen_; }

    // Runs the print dialog pre-set from the current printer and carries the choice
    // back: the chosen printer becomes current, with the chosen copies, duplex mode
    // and orientation, and the page range goes to FromPage()/ToPage(). When no
    // installed printer has the chosen name, nothing changes and UnmatchedPrinter()
    // names it. A printer that cannot be read is reported once ("Printer Error") and
    // ends the dialog as cancelled.
    PrintDialogResult ShowPrintDialog();
    int32_t FromPage() const { return fromPage_; }
    int32_t ToPage() const { return toPage_; }
    std::u16string UnmatchedPrinter() const { return unmatched_; }

    // Fills the file-dialog record from the module's state.
    void PrepareFileDialog();
    const SaveFileRecord& FileDialogRecord() const { return record_; }

  private:
    void RaiseCancel() const;
    // The block's first `size` bytes; the block is freed and `handle` cleared.
    std::vector<uint8_t> TakeBlock(GlobalHandle& handle, size_t size);
    void WriteSettings(const DevMode& settings);

    ComDlgPorts ports_;
    WindowHandle owner_ = 0;
    std::u16string title_;
    std::u16string filter_;
    std::u16string initialFolder_;
    int32_t flags_ = 0;
    bool cancelError_ = false;
    std::u16string chosen_;
    int32_t fromPage_ = 0;
    int32_t toPage_ = 0;
    std::u16string unmatched_;
    SaveFileRecord record_;
};

}  // namespace folio::dialogs
