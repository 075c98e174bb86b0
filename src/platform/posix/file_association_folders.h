#pragma once

#include <string>

namespace folio::posix {

// The user's base folders of the XDG Base Directory rules: the variable when it holds
// an absolute path, else the default under the home folder. Empty when neither the
// variable nor a home folder is known.
std::string UserDataHome();    // $XDG_DATA_HOME, default ~/.local/share
std::string UserConfigHome();  // $XDG_CONFIG_HOME, default ~/.config

// Where the registry stand-in keeps HKEY_CLASSES_ROOT.
std::string RegistryFilePath();

}  // namespace folio::posix
