#include "sys/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

namespace folio::sys {
namespace {

// `offset` < 0 writes at the file's position.
int WriteLoop(int fd, int64_t offset, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = offset < 0
                              ? ::write(fd, bytes + done, size - done)
                              : ::pwrite(fd, bytes + done, size - done,
                                         static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0 ? EIO : errno;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

std::string FileName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where a rewrite through a symbolic link goes: the link's target.
std::string ResolvedTarget(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            return resolved;
        }
    }
    return path;
}

// Writes the file's data to disk and waits for it, without a journal commit;
// fsync where that cannot be done on its own.
bool WriteOut(int fd) {
    constexpr unsigned kWriteAndWait =
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
    if (::sync_file_range(fd, 0, 0, kWriteAndWait) == 0) {
        return true;
    }
    return (errno == EINVAL || errno == ENOSYS || errno == ESPIPE) && ::fsync(fd) == 0;
}

}  // namespace

int WriteAll(int fd, const void* data, size_t size) {
    return WriteLoop(fd, -1, data, size);
}

int WriteAllAt(int fd, uint64_t offset, const void* data, size_t size) {
    return WriteLoop(fd, static_cast<int64_t>(offset), data, size);
}

std::string ParentFolder(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

WriteFailure ClassifyWriteError(int err) {
    switch (err) {
        case EACCES:
        case EPERM:
        case EROFS:
            return WriteFailure::AccessDenied;
        case ENOSPC:
        case EDQUOT:
            return WriteFailure::DiskFull;
        case ENOENT:
        case ENOTDIR:
            return WriteFailure::NotFound;
        default:
            return WriteFailure::Other;
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

int AtomicFile::Fail(Step step, int err) {
    failed_ = step;
    return err;
}

int AtomicFile::Open(const std::string& target, Options options) {
    target_ = options.followSymlink ? ResolvedTarget(target) : target;
    const std::string name = FileName(target_);
    if (name.empty()) {
        return Fail(Step::NoFileName, ENOENT);
    }
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        return Fail(Step::TargetIsFolder, EISDIR);
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
        tempPath_ = ParentFolder(target_) + "/." + name + "." + suffix;
        fd_ = ::open(tempPath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd_ < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd_ < 0) {
        const int err = errno;
        tempPath_.clear();
        return Fail(Step::Create, err);
    }
    if (exists && S_ISREG(st.st_mode)) {
        ::fchmod(fd_, st.st_mode & 07777);
    }
    return 0;
}

// A file replaced is flushed to disk, with its folder, before and after the rename:
// once the rename is done, the file the user had is gone, whatever happens next.
// A new file replaces nothing, so its data is only written out, without the
// journal commit and disk cache flush of fsync (7 ms and more), before it takes
// its name: on a journalling file system the name then never outlives a crash
// that the data does not. A crash may lose a new file, never leave a part of it.
int AtomicFile::Commit() {
    struct stat st {};
    const bool replacing = ::stat(target_.c_str(), &st) == 0;
    const int fd = fd_;
    fd_ = -1;
    const bool flushed = replacing ? ::fsync(fd) == 0 : WriteOut(fd);
    if (!flushed) {
        const int err = errno;
        ::close(fd);
        return Fail(Step::Flush, err);
    }
    if (::close(fd) != 0) {
        return Fail(Step::Close, errno);
    }
    if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        return Fail(Step::Replace, errno);
    }
    committed_ = true;
    if (replacing) {
        // Make the rename itself durable.
        const int dir = ::open(ParentFolder(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
    return 0;
}

}  // namespace folio::sys
