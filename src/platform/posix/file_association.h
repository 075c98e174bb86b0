#pragma once

// What the POSIX side of the file-type association's two adapters (the registry
// stand-in and the desktop association) share: the user's XDG folders, the line
// handling of its text files, and the desktop's helper programs. The ports built on
// them are in file_association_ports.h.

#include <string>
#include <string_view>
#include <vector>

namespace folio::posix {

// The user's base folders of the XDG Base Directory rules: the variable when it holds
// an absolute path, else the default under the home folder. Empty when neither the
// variable nor a home folder is known.
std::string UserDataHome();    // $XDG_DATA_HOME, default ~/.local/share
std::string UserConfigHome();  // $XDG_CONFIG_HOME, default ~/.config

// Where the registry stand-in keeps HKEY_CLASSES_ROOT.
std::string RegistryFilePath();

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

// Runs a program found on PATH with the given arguments (no shell: each argument is
// passed as it is), its output sent to /dev/null, and waits for it. Returns its exit
// status, or -1 when it is not installed or could not be started or was killed.
int RunIfPresent(const std::vector<std::string>& argv);

}  // namespace folio::posix
