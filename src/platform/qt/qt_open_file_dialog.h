#pragma once

#include <QStringList>

#include "platform/open_file_dialog.h"

namespace folio::qt {

// QFileDialog (Qt's own, so that it looks and filters the same on every desktop),
// modal to the owner window, one existing file at a time. The result is the whole
// result buffer: the path, a NUL, and NULs up to the buffer's size.
class QtOpenFileDialog : public OpenFileDialog {
  public:
    std::optional<std::u16string> ShowOpen(const OpenFileRequest& request) override;

    // The Qt name filters for `filters`: the description is shown as it stands while
    // the pattern is translated, since "*.*" means every file only on Windows.
    static QStringList NameFilters(const std::vector<FileFilter>& filters);
};

}  // namespace folio::qt
