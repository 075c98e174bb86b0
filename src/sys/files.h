#pragma once

// Files through the system's calls, for the engine and the adapters alike: files
// opened for reading, whole and positioned reads and writes, the folder of a path,
// and files replaced atomically. Failures are the system's error numbers (errno
// here), 0 for none; ClassifyWriteError and std::strerror say what they mean.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace folio::sys {

// A file the system has open, as handed between parts of the program: a POSIX
// descriptor in this half (a HANDLE in the Win32 one). It owns nothing.
struct FileHandle {
    intptr_t native = -1;

    bool IsValid() const { return native != -1; }
};

// Writes all `size` bytes at the file's position.
int WriteAll(FileHandle file, const void* data, size_t size);
// The same at `offset`, leaving the file's position alone.
int WriteAllAt(FileHandle file, uint64_t offset, const void* data, size_t size);
// Reads `size` bytes at `offset`, or as many as the file holds there: `done` says
// how many.
int ReadAllAt(FileHandle file, uint64_t offset, void* out, size_t size, size_t& done);
// Has the system start writing [offset, offset + size) to disk, without waiting for
// it, so that a flush later has little left to do. Only a hint: nothing fails.
void StartWritingOut(FileHandle file, uint64_t offset, size_t size);

// A file opened to be read, closed when this goes.
class ReadOnlyFile {
  public:
    enum class Kind { Regular, Folder, Other };

    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Opens `path` (UTF-8), never waiting on a FIFO or device, and learns what it
    // is and its size.
    int Open(const std::string& path);
    // The same file once more, on a handle of its own: it reads what was opened even
    // after another file has taken the path.
    int Duplicate(ReadOnlyFile& copy) const;

    bool IsOpen() const { return handle_.IsValid(); }
    FileHandle Handle() const { return handle_; }
    Kind FileKind() const { return kind_; }
    // As it was when opened.
    uint64_t Size() const { return size_; }

  private:
    FileHandle handle_;
    Kind kind_ = Kind::Other;
    uint64_t size_ = 0;
};

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

// What a failed write's (or open's) error number means to the user.
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

    // Creates the temporary file; the failure (FailedStep() says which), or 0.
    int Open(const std::string& target, Options options);
    // Writes the data out, renames the temporary file over the target (or, when
    // the existing file is kept, to its name only if still free), and when it
    // replaces a file, flushes both to disk first and after.
    int Commit();

    // The temporary file, owned by this object (writers that close what they are
    // given should get a duplicate of it).
    FileHandle Handle() const { return FileHandle{fd_}; }
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
