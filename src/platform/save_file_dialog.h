#pragma once

#include <cstdint>
#include <string>

#include "platform/window_handle.h"

namespace folio {

// Option bits of the save-file dialog, with the values the Windows dialog uses.
inline constexpr uint32_t kSaveOverwritePrompt = 0x2;
inline constexpr uint32_t kSaveEnableHook = 0x20;
inline constexpr uint32_t kSaveEnableTemplate = 0x40;
inline constexpr uint32_t kSaveEnableTemplateHandle = 0x80;

// The file-dialog record (Windows' OPENFILENAME) as the save dialog is shown with it.
// Texts are UTF-16; `filter` holds NUL-separated description/pattern pairs ended by
// two NULs, and `file` is the file-name buffer: its first `maxFile` units are the
// space the dialog may fill, the chosen path ended by a NUL.
struct SaveFileRecord {
    static constexpr uint32_t kSize = 76;

    uint32_t structSize = 0;
    WindowHandle owner = 0;
    std::u16string filter;
    std::u16string customFilter;
    uint32_t filterIndex = 0;
    std::u16string file;
    uint32_t maxFile = 0;
    std::u16string initialDir;
    std::u16string title;
    uint32_t flags = 0;
    std::u16string defExt;
};

enum class SaveDialogResult {
    Chosen,          // the chosen path is in the record's file buffer
    Cancelled,       // the user closed the dialog without a choice
    BufferTooSmall,  // the chosen path does not fit the file buffer
};

// The system's modal save-file dialog.
class SaveFileDialog {
  public:
    virtual ~SaveFileDialog() = default;
    virtual SaveDialogResult GetSaveFileName(SaveFileRecord& record) = 0;
};

}  // namespace folio
