#include "platform/posix/file_association_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace folio::posix {
namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now, reporting the error a delayed write may show only here.
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// Where a rewrite must go: the target of a symbolic link, else the path itself.
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

}  // namespace

std::string ParentFolder(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

FileContent ReadWholeFile(const std::string& path, std::size_t maxBytes) {
    FileContent content;
    // Non-blocking, so that a FIFO at that name cannot hold the program up; it is then
    // refused as not a regular file. Regular files read as usual.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        content.error = errno;
        return content;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        content.error = errno;
        return content;
    }
    if (!S_ISREG(info.st_mode)) {
        content.error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return content;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            content.error = errno;
            content.bytes.clear();
            return content;
        }
        if (got == 0) {
            return content;
        }
        if (content.bytes.size() + static_cast<std::size_t>(got) > maxBytes) {
            content.error = EFBIG;
            content.bytes.clear();
            return content;
        }
        content.bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

int WriteFileAtomically(const std::string& path, std::string_view bytes) {
    static std::atomic<unsigned> counter{0};
    const std::string target = ResolvedTarget(path);
    const std::string temporary =
        target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));

    FileDescriptor fd(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (fd.get() < 0) {
        return errno;
    }
    struct stat existing {};
    int error = 0;
    if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        ::fchmod(fd.get(), existing.st_mode & 07777);
    }
    error = WriteAll(fd.get(), bytes);
    if (error == 0 && ::fsync(fd.get()) != 0) {
        error = errno;
    }
    const int closeError = fd.Close();
    if (error == 0) {
        error = closeError;
    }
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
    }
    return error;
}

int MakeDirectories(const std::string& path) {
    if (path.empty()) {
        return ENOENT;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    }
    const std::string parent = ParentFolder(path);
    if (parent != path && parent != "." && parent != "/") {
        if (const int error = MakeDirectories(parent); error != 0) {
            return error;
        }
    }
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        return errno;
    }
    return 0;
}

int KeepAside(const std::string& path, std::string_view suffix, std::string& keptAs) {
    for (int attempt = 1; attempt <= 1000; ++attempt) {
        std::string candidate = path + std::string(suffix);
        if (attempt > 1) {
            candidate += "-" + std::to_string(attempt);
        }
        // A hard link never replaces an existing name, unlike rename.
        if (::link(path.c_str(), candidate.c_str()) == 0) {
            if (::unlink(path.c_str()) != 0) {
                const int error = errno;
                ::unlink(candidate.c_str());
                return error;
            }
            keptAs = candidate;
            return 0;
        }
        if (errno != EEXIST) {
            return errno;
        }
    }
    return EEXIST;
}

int RemoveFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        return errno;
    }
    return 0;
}

}  // namespace folio::posix
