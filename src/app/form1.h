#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_dispatcher.h"
#include "app/form1_ports.h"
#include "cmdline/command_line.h"
#include "imaging/document.h"
#include "output/output_ports.h"
#include "platform/window_handle.h"

namespace folio::app {

// The main window's program side: the program-wide document state, the load and unload
// steps, and one handler per menu command, named after its menu item.
class Form1 {
  public:
    explicit Form1(Form1Ports ports);

    // Program-wide document state.
    std::shared_ptr<imaging::Document> CurrentDocument;
    bool DocumentLoaded = false;
    std::vector<std::u16string> SelectedFiles;

    // The load step from the control check on; the command line has been read and the
    // registration commands dispatched before the window was made (DispatchRegistration).
    // Opens the document the command line names. The exit status when the program is to
    // end at once without showing the window; nothing when the window is to be shown.
    // Its note (StartUpNote) also goes to `notes`, when given, before any message box.
    std::optional<int> Form_Load(const CommandLine& commandLine, std::ostream* notes = nullptr);
    // After the load step: why the start-up argument opened nothing, or why it could
    // not be loaded, in one line for the empty viewer and standard error; empty when
    // the argument opened or none was given.
    const std::u16string& StartUpNote() const { return startUpNote_; }
    // The unload step, when the window closes: the viewer lets go of the document, which
    // is closed without saving while it is still open.
    void Form_Unload();

    // Runs the menu command `name` through the dispatcher; a failure is reported and
    // the state made consistent again. False when the command failed.
    bool RunCommand(std::u16string_view name);

    // File menu.
    void fileOpen();
    void fileExport();
    void filePrint();
    void fileClose();
    // Image menu.
    void image_rotate_clock();
    void image_rotate_anticlock();
    void image_rotate_180();
    void data_byHeight();
    void data_byWidth();
    void data_dec();
    void data_inc();
    void original_size();
    // Help menu.
    void help_aboute();
    void don();

    // Replaces the document with the one at `path` and shows it; raises when it
    // cannot be created or loaded. The caller resets the zoom afterwards.
    void OpenFromPath(const std::u16string& path);
    // Shows the file-open dialog; the number of paths put in SelectedFiles.
    int32_t ShowOpenDialog(WindowHandle owner, const std::u16string& initialFolder);
    // True when CurrentDocument answers its page count; never raises.
    bool IsDocumentOpen();
    // Turns by `angle` the pages marked -1 in `pages`; neither argument changes.
    void RotatePages(int32_t& angle, std::vector<int32_t>& pages);
    // True when the viewer control answers; otherwise reports the broken installation.
    bool CheckViewerControl();
    // True when `path` names something other than a bare directory.
    bool FileExists(const std::u16string& path);
    // The same test on attributes already read.
    static bool Exists(int32_t attributes);

  private:
    void Tell(std::ostream* notes) const;
    bool RunGuarded(const std::function<void()>& command);
    // After a failed command: the document the viewer shows becomes CurrentDocument
    // again, so that a failed open keeps what the user was reading.
    void RestoreConsistentState();
    void RotateEveryPage(int32_t angle);
    // What the export and print commands reach, from the window's own ports.
    output::OutputPorts OutputCommandPorts();

    Form1Ports ports_;
    CommandDispatcher dispatcher_;
    std::u16string startUpNote_;
};

}  // namespace folio::app
