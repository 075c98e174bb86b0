#include "platform/posix/file_association_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace folio::posix {
namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return home;
    }
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return {};
}

std::string BaseFolder(const char* variable, const char* underHome) {
    // Relative values are invalid by the rules and are ignored.
    if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') {
        return value;
    }
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + underHome;
}

}  // namespace

std::string UserDataHome() {
    return BaseFolder("XDG_DATA_HOME", "/.local/share");
}

std::string UserConfigHome() {
    return BaseFolder("XDG_CONFIG_HOME", "/.config");
}

std::string RegistryFilePath() {
    const std::string data = UserDataHome();
    return data.empty() ? std::string() : data + "/FolioLens/HKEY_CLASSES_ROOT.reg";
}

}  // namespace folio::posix
