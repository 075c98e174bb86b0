#pragma once

#include <string>
#include <string_view>

namespace folio::posix {

// The texts of the desktop association, each by its freedesktop.org rules.

// One argument of a desktop entry's Exec key: quoted when it holds a reserved
// character, with "%" doubled, then escaped as a desktop entry string value.
std::string DesktopExecArgument(std::string_view argument);

struct DesktopEntryFields {
    std::string name;      // the application's display name
    std::string program;   // absolute path of the executable
    std::string icon;      // icon name in the theme
    std::string mimeType;  // the one type it opens
};

// A desktop entry that opens one file (%f) of the type with the program.
std::string DesktopEntryText(const DesktopEntryFields& fields);

struct MimePackageFields {
    std::string mimeType;
    std::string comment;
    std::string glob;   // e.g. "*.mdi"
    std::string magic;  // bytes the file starts with
};

// A shared-mime-info package defining the type by its glob and its leading bytes.
std::string MimePackageText(const MimePackageFields& fields);

// mimeapps.list with desktopFile as the default application for mimeType. Every other
// line stays as it was; the group [Default Applications] is added when missing.
std::string WithDefaultApplication(std::string_view mimeapps, std::string_view mimeType,
                                   std::string_view desktopFile);

// mimeapps.list without desktopFile among the defaults for mimeType; a line left with
// no application goes, other applications named there stay, every other line too.
std::string WithoutDefaultApplication(std::string_view mimeapps, std::string_view mimeType,
                                      std::string_view desktopFile);

}  // namespace folio::posix
