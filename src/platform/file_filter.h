#pragma once

#include <string>

namespace folio {

// One entry of a file dialog's type list: the text shown and the pattern it selects.
struct FileFilter {
    std::u16string description;
    std::u16string pattern;

    bool operator==(const FileFilter&) const = default;
};

}  // namespace folio
