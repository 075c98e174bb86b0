#include "platform/posix/file_association_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "sys/files.h"

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

}  // namespace

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
    sys::AtomicFile file;
    if (const int error = file.Open(path, {.followSymlink = true}); error != 0) {
        return error;
    }
    if (const int error = sys::WriteAll(file.Handle(), bytes.data(), bytes.size()); error != 0) {
        return error;
    }
    return file.Commit();
}

int MakeDirectories(const std::string& path) {
    if (path.empty()) {
        return ENOENT;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    }
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return error.value();
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
