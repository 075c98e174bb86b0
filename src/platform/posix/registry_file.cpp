#include "platform/posix/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>

#include "platform/posix/file_association_files.h"
#include "platform/posix/registry_file_format.h"
#include "sys/files.h"

namespace folio::posix {
namespace {

std::int32_t StatusOf(int error) {
    if (error == 0) {
        return Registry::kSuccess;
    }
    switch (sys::ClassifyWriteError(error)) {
        case sys::WriteFailure::AccessDenied:
            return Registry::kAccessDenied;
        case sys::WriteFailure::DiskFull:
            return Registry::kDiskFull;
        case sys::WriteFailure::NotFound:
            return Registry::kFileNotFound;
        default:
            return Registry::kWriteFault;
    }
}

bool HasControlCharacters(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) {
            return true;
        }
    }
    return false;
}

}  // namespace

// Holds an exclusive lock on the file's folder while a change is read, made and
// written. Without a folder there is nothing to lock, and nothing to read either.
class RegistryFile::FolderLock {
  public:
    explicit FolderLock(const std::string& folder)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    int fd_;
};

RegistryFile::RegistryFile(std::string path, std::ostream& diagnostics)
    : path_(std::move(path)), diagnostics_(diagnostics) {}

RegistryFile::~RegistryFile() = default;

Registry::Handle RegistryFile::Remember(std::string path, std::uint32_t access) {
    while (next_ == 0 || opened_.count(next_) != 0 || next_ >= kClassesRoot) {
        next_ = next_ >= kClassesRoot ? 1 : next_ + 1;
    }
    const Handle handle = next_++;
    opened_.emplace(handle, OpenedKey{std::move(path), access});
    return handle;
}

std::int32_t RegistryFile::Resolve(Handle root, std::string_view subKey, std::string& path) const {
    if (root == kClassesRoot) {
        path.clear();
    } else if (const auto found = opened_.find(root); found != opened_.end()) {
        path = found->second.path;
    } else {
        return kInvalidHandle;
    }
    if (const std::int32_t status = RegistryFileData::CheckPath(subKey); status != kSuccess) {
        return status;
    }
    if (!subKey.empty()) {
        path += path.empty() ? std::string(subKey) : "\\" + std::string(subKey);
    }
    return RegistryFileData::CheckPath(path);
}

RegistryFile::Loaded RegistryFile::Load(bool forChange) {
    Loaded loaded;
    if (path_.empty()) {
        loaded.status = kFileNotFound;
        return loaded;
    }
    const FileContent content = ReadWholeFile(path_, kMaxFileBytes);
    if (content.error == ENOENT) {
        return loaded;  // nothing stored yet: an empty root
    }
    std::string problem;
    if (content.error == EFBIG) {
        problem = "it is larger than a registry file can be";
    } else if (content.error == EISDIR || content.error == EINVAL) {
        problem = "it is not a regular file";
    } else if (content.error != 0) {
        loaded.status = StatusOf(content.error);
        return loaded;
    } else {
        RegistryFileParse parsed = ParseRegistryFile(content.bytes);
        if (parsed.ok) {
            loaded.data = std::move(parsed.data);
            return loaded;
        }
        problem =
            (parsed.line > 0 ? "line " + std::to_string(parsed.line) + ": " : "") + parsed.error;
    }
    if (!forChange || content.error == EISDIR) {
        loaded.status = kInvalidData;
        return loaded;
    }
    std::string keptAs;
    if (const int error = KeepAside(path_, ".damaged", keptAs); error != 0) {
        diagnostics_ << "FolioLens: the registry file " << path_ << " cannot be read (" << problem
                     << ") and could not be moved aside (" << std::strerror(error)
                     << "); it was left as it is and not changed.\n";
        loaded.status = kInvalidData;
        return loaded;
    }
    diagnostics_ << "FolioLens: the registry file " << path_ << " cannot be read (" << problem
                 << "); it was kept as " << keptAs << " and a new one was started.\n";
    return loaded;
}

std::int32_t RegistryFile::Save(const RegistryFileData& data) {
    return StatusOf(WriteFileAtomically(path_, FormatRegistryFile(data)));
}

Registry::CreateResult RegistryFile::CreateKey(Handle root, std::string_view subKey,
                                               std::uint32_t /*reserved*/, const char* /*keyClass*/,
                                               std::uint32_t /*options*/, std::uint32_t access) {
    std::string path;
    if (const std::int32_t status = Resolve(root, subKey, path); status != kSuccess) {
        return {status, 0, 0};
    }
    if (path_.empty()) {
        return {kFileNotFound, 0, 0};
    }
    const std::string folder = sys::ParentFolder(path_);
    if (const int error = MakeDirectories(folder); error != 0) {
        return {StatusOf(error), 0, 0};
    }
    FolderLock lock(folder);
    Loaded loaded = Load(true);
    if (loaded.status != kSuccess) {
        return {loaded.status, 0, 0};
    }
    std::uint32_t disposition = kOpenedExistingKey;
    if (loaded.data.CreateKey(path)) {
        if (const std::int32_t status = Save(loaded.data); status != kSuccess) {
            return {status, 0, 0};
        }
        disposition = kCreatedNewKey;
    }
    return {kSuccess, Remember(path, access), disposition};
}

Registry::OpenResult RegistryFile::OpenKey(Handle root, std::string_view subKey,
                                           std::uint32_t /*options*/, std::uint32_t access) {
    std::string path;
    if (const std::int32_t status = Resolve(root, subKey, path); status != kSuccess) {
        return {status, 0};
    }
    const Loaded loaded = Load(false);
    if (loaded.status != kSuccess) {
        return {loaded.status, 0};
    }
    if (!loaded.data.HasKey(path)) {
        return {kFileNotFound, 0};
    }
    return {kSuccess, Remember(path, access)};
}

std::int32_t RegistryFile::SetValue(Handle key, std::string_view valueName,
                                    std::uint32_t /*reserved*/, std::uint32_t type,
                                    const std::uint8_t* data, std::uint32_t size) {
    std::string path;
    std::uint32_t access = ~0u;
    if (key != kClassesRoot) {
        const auto found = opened_.find(key);
        if (found == opened_.end()) {
            return kInvalidHandle;
        }
        path = found->second.path;
        access = found->second.access;
    }
    if (path_.empty()) {
        return kFileNotFound;
    }
    if ((access & kSetValue) == 0) {
        return kAccessDenied;
    }
    if ((data == nullptr && size != 0) || HasControlCharacters(valueName)) {
        return kInvalidParameter;
    }
    RegistryValue value{type, data == nullptr
                                  ? std::string()
                                  : std::string(reinterpret_cast<const char*>(data), size)};
    const std::string folder = sys::ParentFolder(path_);
    if (const int error = MakeDirectories(folder); error != 0) {
        return StatusOf(error);
    }
    FolderLock lock(folder);
    Loaded loaded = Load(true);
    if (loaded.status != kSuccess) {
        return loaded.status;
    }
    if (!loaded.data.SetValue(path, valueName, std::move(value))) {
        return kKeyDeleted;
    }
    return Save(loaded.data);
}

std::int32_t RegistryFile::CloseKey(Handle key) {
    if (key == kClassesRoot) {
        return kSuccess;
    }
    return opened_.erase(key) == 1 ? kSuccess : kInvalidHandle;
}

std::int32_t RegistryFile::DeleteTree(Handle root, std::string_view subKey) {
    std::string path;
    if (const std::int32_t status = Resolve(root, subKey, path); status != kSuccess) {
        return status;
    }
    if (path.empty()) {
        // The whole of HKEY_CLASSES_ROOT is not the program's to remove.
        return kAccessDenied;
    }
    if (path_.empty()) {
        return kFileNotFound;
    }
    FolderLock lock(sys::ParentFolder(path_));
    Loaded loaded = Load(false);
    if (loaded.status != kSuccess) {
        return loaded.status;
    }
    if (!loaded.data.DeleteTree(path)) {
        return kFileNotFound;  // nothing to delete: the file stays as it is
    }
    return Save(loaded.data);
}

}  // namespace folio::posix
