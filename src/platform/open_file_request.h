#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_filter.h"
#include "platform/window_handle.h"

namespace folio {

// Option bits of the file-open dialog, with the values the Windows dialog uses.
inline constexpr uint32_t kOpenHideReadOnly = 0x4;
inline constexpr uint32_t kOpenPathMustExist = 0x800;
inline constexpr uint32_t kOpenFileMustExist = 0x1000;

// Everything the file-open dialog is shown with.
struct OpenFileRequest {
    WindowHandle owner = 0;
    std::vector<FileFilter> filters;
    int32_t filterIndex = 0;  // 0 and 1 both preselect the first entry
    std::u16string initialFolder;
    std::u16string title;
    uint32_t flags = 0;
    // Characters the result may hold, not counting its terminating NUL; a longer
    // choice makes the dialog fail.
    size_t resultCapacity = 0;
};

}  // namespace folio
