#pragma once

// Writing files with POSIX calls, for the engine and the adapters alike: whole
// writes, the folder of a path, and files replaced atomically.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace folio::sys {

// Writes all `size` bytes at the file's position; errno of the failure, or 0.
int WriteAll(int fd, const void* data, size_t size);
// The same at `offset`, leaving the file's position alone.
int WriteAllAt(int fd, uint64_t offset, const void* data, size_t size);

// The folder part of a path: "." when there is none, "/" for a file at the root.
std::string ParentFolder(const std::string& path);

// Which file a path leads to (symbolic links followed): two names, hard links
// included, lead to the same file exactly when these are equal.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    // Spelt out, not defaulted: the one file that includes qpdf is built as C++17.
    bool operator<(const FileIdentity& other) const {
        return device != other.device ? device < other.device : inode < other.inode;
    }
    bool operator==(const FileIdentity& other) const {
        return device == other.device && inode == other.inode;
    }
};
// None when nothing is there (or it cannot be looked at).
std::optional<FileIdentity> IdentityOf(const std::string& path);

// What a failed write's errno means to the user.
enum class WriteFailure { AccessDenied, DiskFull, NotFound, Other };
WriteFailure ClassifyWriteError(int err);

// A file written under a temporary name beside its target and renamed over the
// target only when complete and flushed to disk, so that readers see the old file
// or the new one, never a partial one. A replaced file's permissions are carried
// over. Until Commit() succeeds, destroying it removes the temporary file and the
// target stays untouched. Only a regular file is ever replaced: a device, FIFO or
// socket at the target (or a link to one) is refused.
class AtomicFile {
  public:
    // The step that failed, for messages.
    enum class Step {
        None,
        NoFileName,
        TargetIsFolder,
        TargetNotFile,  // TargetKind() says what it is
        TargetExists,   // only when an existing file is kept
        Create,
        Flush,
        Close,
        Replace
    };

    struct Options {
        // A symbolic link at the target is followed: the file it leads to is replaced.
        bool followSymlink = false;
        // False keeps whatever has the target's name, found at Open() or made by
        // someone else before Commit(): the file is then published with a rename
        // that never replaces (EEXIST, Step::TargetExists).
        bool replace = true;
    };

    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file; errno of the failure (FailedStep() says which),
    // or 0.
    int Open(const std::string& target, Options options);
    // Writes the data out, renames the temporary file over the target (or, when
    // the existing file is kept, to its name only if still free), and when it
    // replaces a file, flushes both to disk first and after; errno of the failure,
    // or 0.
    int Commit();

    // The temporary file's descriptor, owned by this object (writers that close
    // what they are given should get a dup of it).
    int Descriptor() const { return fd_; }
    const std::string& TempPath() const { return tempPath_; }
    Step FailedStep() const { return failed_; }
    // What was found at the target when it is no regular file ("a FIFO", ...).
    const char* TargetKind() const { return targetKind_; }

  private:
    int Fail(Step step, int err);
    // Fails when the target exists and is not a regular file; `exists` tells whether
    // anything is there.
    int CheckExisting(bool& exists);

    std::string target_;
    std::string tempPath_;
    int fd_ = -1;
    bool replace_ = true;
    const char* targetKind_ = "";
    bool committed_ = false;
    Step failed_ = Step::None;
};

}  // namespace folio::sys
