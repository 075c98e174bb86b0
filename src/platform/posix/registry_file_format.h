#pragma once

#include <string>
#include <string_view>

#include "platform/posix/registry_file_data.h"

namespace folio::posix {

// The Windows registry-export text format, for the one root HKEY_CLASSES_ROOT:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CLASSES_ROOT\.mdi]
//   @="Folio_Lens"
//
// Strings are quoted with backslash and quote escaped by a backslash; dword:, hex: and
// hex(n): carry other types, hex lists continued over lines ending in a backslash. The
// file is UTF-8 with CR LF line ends; reading also takes LF ends, a byte-order mark, a
// UTF-16LE file (as the Windows editor writes it) and the older REGEDIT4 header.

inline constexpr std::string_view kRegistryFileHeader = "Windows Registry Editor Version 5.00";

struct RegistryFileParse {
    bool ok = false;
    RegistryFileData data;
    int line = 0;       // where the first problem is, 1-based; 0 for the file as a whole
    std::string error;  // what the problem is
};

// Reads the whole text. Anything it cannot take as a plain export of HKEY_CLASSES_ROOT
// (another root, deletion entries, a broken line) is an error, never guessed at.
RegistryFileParse ParseRegistryFile(std::string_view bytes);

// Writes the data in the format above; parsing the result gives the data back.
std::string FormatRegistryFile(const RegistryFileData& data);

}  // namespace folio::posix
