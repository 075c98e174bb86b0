#pragma once

#include <string_view>
#include <vector>

namespace folio::posix {

// Line handling shared by the text files of the association (registry file, mimeapps.list).

// The lines of text, split at each LF; a CR before it stays with the line. A final
// line without LF counts; an empty text has no lines.
std::vector<std::string_view> SplitLines(std::string_view text);

// Without leading spaces and tabs.
std::string_view TrimmedStart(std::string_view text);

// Without trailing spaces, tabs and CRs.
std::string_view TrimmedEnd(std::string_view text);

inline std::string_view Trimmed(std::string_view text) {
    return TrimmedStart(TrimmedEnd(text));
}

}  // namespace folio::posix
