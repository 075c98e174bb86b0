#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_dispatcher.h"
#include "app/form1_ports.h"
#include "imaging/document.h"
#include "platform/window_handle.h"

namespace folio::app {

// The main window's program side: the program-wide document state and one handler per
// menu command, named after its menu item.
class Form1 {
  public:
    explicit Form1(Form1Ports ports);

    // Program-wide document state.
    std::shared_ptr<imaging::Document> CurrentDocument;
    bool DocumentLoaded = false;
    std::vector<std::u16string> SelectedFiles;

    // Runs the menu command `name` through the dispatcher; a failure is reported and
    // the state made consistent again. False when the command failed.
    bool RunCommand(std::u16string_view name);
    // Opens `path` and resets the view to original size, with failures handled like a
    // command's. False when the document could not be shown.
    bool OpenFromCommandLine(const std::u16string& path);

    // File menu.
    void fileOpen();
    void fileClose();
    // Image menu.
    void data_byHeight();
    void data_byWidth();
    void data_dec();
    void data_inc();
    void original_size();

    // Replaces the document with the one at `path` and shows it; raises when it
    // cannot be created or loaded. The caller resets the zoom afterwards.
    void OpenFromPath(const std::u16string& path);
    // Shows the file-open dialog; the number of paths put in SelectedFiles.
    int32_t ShowOpenDialog(WindowHandle owner, const std::u16string& initialFolder);
    // True when CurrentDocument answers its page count; never raises.
    bool IsDocumentOpen();

  private:
    bool RunGuarded(const std::function<void()>& command);
    // After a failed command: when the document state no longer agrees with what the
    // viewer shows (an open that failed half way), fall back to "no document".
    void RestoreConsistentState();

    Form1Ports ports_;
    CommandDispatcher dispatcher_;
};

}  // namespace folio::app
