#pragma once

#include <optional>
#include <string>

#include "platform/open_file_request.h"

namespace folio {

// The system's modal file-open dialog.
class OpenFileDialog {
  public:
    virtual ~OpenFileDialog() = default;
    // The dialog's result buffer as text, or nothing when the user cancelled or the
    // dialog failed.
    virtual std::optional<std::u16string> ShowOpen(const OpenFileRequest& request) = 0;
};

}  // namespace folio
