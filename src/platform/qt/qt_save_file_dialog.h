#pragma once

#include <vector>

#include "platform/file_filter.h"
#include "platform/save_file_dialog.h"

namespace folio::qt {

// QFileDialog for saving, set up from the file-dialog record: title, filter pairs,
// initial folder, the overwrite question when the record's flags ask for it, and no
// extension added to what the user types. The chosen path goes back into the
// record's buffer as narrow (UTF-8) text would fill it: a path that needs more bytes
// than the buffer holds is refused like the system dialog refuses it.
class QtSaveFileDialog : public SaveFileDialog {
  public:
    SaveDialogResult GetSaveFileName(SaveFileRecord& record) override;

    // The description/pattern pairs of a NUL-separated filter list, up to the first
    // empty element.
    static std::vector<FileFilter> FilterPairs(std::u16string_view list);
};

}  // namespace folio::qt
