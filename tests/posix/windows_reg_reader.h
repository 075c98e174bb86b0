#pragma once

#include <map>
#include <string>
#include <string_view>

namespace folio::testing {

// An importer of Windows registry-export files written for the tests, independent of
// the program's own reader: it knows the header, [key] sections and string values
// (@ for the default value), with the format's escapes \\ and \" inside quotes, and
// fails (returns false, with a reason) on anything else.
struct ImportedRegistry {
    // Full key path as written ("HKEY_CLASSES_ROOT\\.mdi") -> value name -> string.
    std::map<std::string, std::map<std::string, std::string>> keys;
};

bool ImportWindowsRegFile(std::string_view text, ImportedRegistry& out, std::string& reason);

}  // namespace folio::testing
