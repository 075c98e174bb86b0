#include "sys/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace folio::sys {
namespace {

int Descriptor(FileHandle file) {
    return static_cast<int>(file.native);
}

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

// What stands at a target that is neither a regular file nor a folder.
const char* KindName(mode_t mode) {
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    return "a special file";
}

// Random letters that make the temporary name one no one else uses.
constexpr size_t kSuffixLength = 6;
// "." before the stem and "." before the suffix.
constexpr size_t kTempExtra = 2 + kSuffixLength;

// The part of `name` the temporary name keeps: all of it when that fits the
// folder's limit on name length, else its start, cut at a UTF-8 character.
// Empty with `err` set when `name` itself is too long to be made.
std::string TempStem(const std::string& folder, const std::string& name, int& err) {
    errno = 0;
    long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    if (limit < 0) {
        if (errno != 0 && errno != EINVAL) {
            err = errno;
            return {};
        }
        limit = NAME_MAX;
    }
    const auto most = static_cast<size_t>(limit);
    if (name.size() > most) {
        err = ENAMETOOLONG;
        return {};
    }
    if (name.size() + kTempExtra <= most) {
        return name;
    }
    size_t keep = most - kTempExtra;
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
        --keep;
    }
    return name.substr(0, keep);
}

// Gives `from` the name `to` unless something already has it (EEXIST). Where the
// file system cannot rename that way, a hard link claims the name just as surely.
int PublishWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return errno;
    }
    if (::link(from.c_str(), to.c_str()) != 0) {
        return errno;
    }
    ::unlink(from.c_str());
    return 0;
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

int WriteAll(FileHandle file, const void* data, size_t size) {
    return WriteLoop(Descriptor(file), -1, data, size);
}

int WriteAllAt(FileHandle file, uint64_t offset, const void* data, size_t size) {
    return WriteLoop(Descriptor(file), static_cast<int64_t>(offset), data, size);
}

int ReadAllAt(FileHandle file, uint64_t offset, void* out, size_t size, size_t& done) {
    auto* bytes = static_cast<uint8_t*>(out);
    done = 0;
    while (done < size) {
        const ssize_t n =
            ::pread(Descriptor(file), bytes + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return errno;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

void StartWritingOut(FileHandle file, uint64_t offset, size_t size) {
    ::sync_file_range(Descriptor(file), static_cast<off_t>(offset), static_cast<off_t>(size),
                      SYNC_FILE_RANGE_WRITE);
}

ReadOnlyFile::~ReadOnlyFile() {
    if (IsOpen()) {
        ::close(Descriptor(handle_));
    }
}

int ReadOnlyFile::Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return errno;
    }
    handle_ = FileHandle{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return errno;
    }
    kind_ = S_ISREG(info.st_mode)   ? Kind::Regular
            : S_ISDIR(info.st_mode) ? Kind::Folder
                                    : Kind::Other;
    size_ = static_cast<uint64_t>(info.st_size);
    return 0;
}

int ReadOnlyFile::Duplicate(ReadOnlyFile& copy) const {
    const int fd = ::fcntl(Descriptor(handle_), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        return errno;
    }
    if (copy.IsOpen()) {
        ::close(Descriptor(copy.handle_));
    }
    copy.handle_ = FileHandle{fd};
    copy.kind_ = kind_;
    copy.size_ = size_;
    return 0;
}

std::string ParentFolder(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
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
    replace_ = options.replace;
    const std::string name = FileName(target_);
    if (name.empty()) {
        return Fail(Step::NoFileName, ENOENT);
    }
    // Followed through links: a link to a device is as much a device.
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        return Fail(Step::TargetIsFolder, EISDIR);
    }
    if (exists && !S_ISREG(st.st_mode)) {
        targetKind_ = KindName(st.st_mode);
        return Fail(Step::TargetNotFile, EPERM);
    }
    struct stat link {};
    if (!replace_ && (exists || ::lstat(target_.c_str(), &link) == 0)) {
        return Fail(Step::TargetExists, EEXIST);
    }
    const std::string folder = ParentFolder(target_);
    int tooLong = 0;
    const std::string stem = TempStem(folder, name, tooLong);
    if (tooLong != 0) {
        return Fail(Step::Create, tooLong);
    }
    // Created like any new file (so the umask applies), under a name no one else
    // uses; a replaced file's permissions are carried over.
    std::random_device random;
    const char* const letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        std::string suffix(kSuffixLength, 'x');
        for (char& ch : suffix) {
            ch = letters[random() % 62];
        }
        tempPath_ = folder + "/." + stem + "." + suffix;
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
    if (exists) {
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
    const bool replacing = replace_ && ::stat(target_.c_str(), &st) == 0;
    if (replacing && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        // Made there while the file was written.
        targetKind_ = KindName(st.st_mode);
        return Fail(Step::TargetNotFile, EPERM);
    }
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
    if (!replace_) {
        if (const int err = PublishWithoutReplacing(tempPath_, target_); err != 0) {
            return Fail(err == EEXIST ? Step::TargetExists : Step::Replace, err);
        }
    } else if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
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
