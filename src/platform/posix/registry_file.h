#pragma once

#include <iosfwd>
#include <map>
#include <string>

#include "platform/posix/registry_file_data.h"
#include "platform/registry.h"

namespace folio::posix {

// HKEY_CLASSES_ROOT kept in one file in the Windows registry-export text format.
// Every call reads the file afresh, and every change rewrites it atomically under a
// lock on its folder, so that two programs changing it at once do not lose a write.
//
// A file that cannot be read as such a registry (damaged, or some other file at that
// name) is never overwritten: the first change moves it aside, to the same name with
// ".damaged" appended, reports that on the diagnostics stream, and starts a new file.
// Reading a damaged file fails with kInvalidData.
class RegistryFile : public Registry {
  public:
    RegistryFile(std::string path, std::ostream& diagnostics);
    ~RegistryFile() override;

    CreateResult CreateKey(Handle root, std::string_view subKey, std::uint32_t reserved,
                           const char* keyClass, std::uint32_t options,
                           std::uint32_t access) override;
    OpenResult OpenKey(Handle root, std::string_view subKey, std::uint32_t options,
                       std::uint32_t access) override;
    std::int32_t SetValue(Handle key, std::string_view valueName, std::uint32_t reserved,
                          std::uint32_t type, const std::uint8_t* data,
                          std::uint32_t size) override;
    std::int32_t CloseKey(Handle key) override;
    std::int32_t DeleteTree(Handle root, std::string_view subKey) override;

    const std::string& path() const { return path_; }

    // Files larger than this are not taken for a registry.
    static constexpr std::size_t kMaxFileBytes = 16 * 1024 * 1024;

  private:
    struct OpenedKey {
        std::string path;
        std::uint32_t access;
    };
    struct Loaded {
        std::int32_t status = kSuccess;
        RegistryFileData data;
    };
    class FolderLock;

    // The key path that a root handle and a subkey name stand for, or a bad status.
    std::int32_t Resolve(Handle root, std::string_view subKey, std::string& path) const;
    Loaded Load(bool forChange);
    std::int32_t Save(const RegistryFileData& data);
    Handle Remember(std::string path, std::uint32_t access);

    std::string path_;
    std::ostream& diagnostics_;
    std::map<Handle, OpenedKey> opened_;
    Handle next_ = 1;
};

}  // namespace folio::posix
