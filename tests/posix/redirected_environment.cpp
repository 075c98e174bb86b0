#include "posix/redirected_environment.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace folio::testing {

void RedirectedEnvironment::SetVariable(const std::string& name, const std::string& value) {
    if (saved_.count(name) == 0) {
        const char* old = ::getenv(name.c_str());
        saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    ::setenv(name.c_str(), value.c_str(), 1);
}

void RedirectedEnvironment::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "foliolens-shell-XXXXXX");
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    home = root + "/home";
    dataHome = home + "/.local/share";
    configHome = home + "/.config";
    registryPath = dataHome + "/FolioLens/HKEY_CLASSES_ROOT.reg";
    std::filesystem::create_directories(dataHome);
    std::filesystem::create_directories(configHome);
    std::filesystem::create_directories(root + "/etc-xdg");
    SetVariable("HOME", home);
    SetVariable("XDG_DATA_HOME", dataHome);
    SetVariable("XDG_CONFIG_HOME", configHome);
    SetVariable("XDG_CONFIG_DIRS", root + "/etc-xdg");
    SetVariable("XDG_DATA_DIRS", dataHome + ":/usr/share");
    SetVariable("XDG_CACHE_HOME", home + "/.cache");
    SetVariable("XDG_RUNTIME_DIR", root);
}

void RedirectedEnvironment::TearDown() {
    for (const auto& [name, value] : saved_) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }
    saved_.clear();
    if (!root.empty()) {
        std::error_code ignored;
        // Folders a test made read-only must be writable again to be removed.
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root, ignored)) {
            if (entry.is_directory(ignored)) {
                std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
            }
        }
        std::filesystem::remove_all(root, ignored);
    }
}

std::string RedirectedEnvironment::Read(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void RedirectedEnvironment::Write(const std::string& path, const std::string& bytes) const {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

bool RedirectedEnvironment::Exists(const std::string& path) const {
    return std::filesystem::exists(path);
}

}  // namespace folio::testing
