// Writing a file whole or not at all: a temporary beside the target, renamed over
// it once complete.

#include "engine/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "common/error.h"
#include "common/error_numbers.h"

namespace folio::engine {
namespace {

int32_t NumberFor(int err) {
    switch (err) {
        case ENOSPC:
        case EDQUOT:
            return errors::kDiskFull;
        case EACCES:
        case EPERM:
        case EROFS:
            return errors::kPermissionDenied;
        case ENOENT:
        case ENOTDIR:
            return errors::kPathNotFound;
        default:
            return errors::kDeviceIoError;
    }
}

[[noreturn]] void Fail(const std::string& target, const char* what, int err) {
    throw Error(NumberFor(err),
                "Cannot write \"" + target + "\": " + what + ": " + std::strerror(err));
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

AtomicFile::AtomicFile(const std::string& targetPath) : target_(targetPath) {
    const std::string name = NameOf(targetPath);
    if (name.empty()) {
        throw Error(errors::kPathNotFound, "Cannot write \"" + targetPath + "\": no file name");
    }
    struct stat st {};
    const bool exists = ::stat(targetPath.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        throw Error(errors::kPermissionDenied,
                    "Cannot write \"" + targetPath + "\": it is a folder");
    }
    // Created like any new file (so the umask applies), under a name no one else
    // uses; a replaced file's permissions are carried over.
    std::random_device random;
    const char* const letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        std::string suffix(6, 'x');
        for (char& ch : suffix) {
            ch = letters[random() % 62];
        }
        tempPath_ = FolderOf(targetPath) + "/." + name + "." + suffix;
        fd_ = ::open(tempPath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd_ < 0) {
        const int err = errno;
        tempPath_.clear();
        Fail(target_, "cannot create a file in its folder", err);
    }
    if (exists) {
        ::fchmod(fd_, st.st_mode & 07777);
    }
}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!committed_ && !tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
    }
}

void AtomicFile::Commit() {
    if (::fsync(fd_) != 0) {
        Fail(target_, "cannot flush the data to disk", errno);
    }
    if (::close(fd_) != 0) {
        fd_ = -1;
        Fail(target_, "cannot finish writing", errno);
    }
    fd_ = -1;
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        Fail(target_, "cannot replace the file", errno);
    }
    committed_ = true;
    // Make the rename itself durable.
    const int dir = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace folio::engine
