#pragma once

// Reading and writing TIFF through libtiff on storage of our own: the one set of
// client callbacks, the one collector of libtiff's messages, a document's file
// opened for reading (by path or from memory), a TIFF written into memory, and
// reading ranges of a file's compressed data.

#include <cstdarg>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct tiff TIFF;
typedef struct TIFFOpenOptions TIFFOpenOptions;

namespace folio::engine {

// The largest single allocation libtiff may make for one file.
inline constexpr int64_t kMaxLibtiffAllocation = int64_t{1} << 30;

// What the first bytes of a file say it is. The .mdi container is a little-endian
// TIFF whose header starts "EP*\0" instead of "II*\0".
enum class ContainerFormat { Tiff, Mdi, Truncated, Unknown };

// Looks at up to the first four bytes of a file (fewer when the file is shorter).
ContainerFormat SniffContainer(const uint8_t* head, size_t size);

// "TIFF" or "MDI".
std::string ContainerName(ContainerFormat format);

// Bytes that libtiff reads and writes through our client callbacks: a file, a
// buffer in memory, a file being written. The storage stays with its owner and is
// never memory-mapped.
class TiffStorage {
  public:
    virtual ~TiffStorage() = default;
    // Reads up to `count` bytes at `offset`; how many were read, or -1.
    virtual int64_t ReadAt(uint64_t offset, uint8_t* out, uint64_t count) = 0;
    // False when the bytes cannot be written (read-only storage, a failed write).
    virtual bool WriteAt(uint64_t offset, const uint8_t* data, uint64_t size) = 0;
    virtual uint64_t Size() const = 0;

    // Where libtiff reads or writes next.
    uint64_t position = 0;
};

// Opens libtiff on `storage` with `mode` as TIFFClientOpen takes it; libtiff's
// messages go where `options` say. Null when libtiff cannot start the file.
TIFF* OpenTiffClient(const std::string& name, const char* mode, TiffStorage& storage,
                     TIFFOpenOptions* options);

// A tag of the current directory, or libtiff's default when it is absent (for
// uint16_t and uint32_t tags).
template <typename T>
T Defaulted(TIFF* tif, uint32_t tag);

// Collects libtiff's errors and warnings for one file through the per-file
// handlers, so that nothing is printed and no process-wide handler is touched.
class TiffMessageLog {
  public:
    // Messages that start with "`fileName`: " lose that prefix: ours name the file
    // already.
    explicit TiffMessageLog(std::string fileName = {});
    ~TiffMessageLog();
    TiffMessageLog(const TiffMessageLog&) = delete;
    TiffMessageLog& operator=(const TiffMessageLog&) = delete;

    // Options to pass to TIFF*OpenExt; they route messages here.
    TIFFOpenOptions* Options() const { return options_; }
    // The first error reported since the last Clear(), or "".
    const std::string& FirstError() const { return firstError_; }
    // Every error and warning since the last Clear(), in order: the first few.
    const std::vector<std::string>& Messages() const { return messages_; }
    void Clear();
    // The first error (or ""); everything reported is forgotten.
    std::string Take();
    // The messages, forgotten.
    std::vector<std::string> TakeMessages();
    // `fallback` when no error was reported.
    std::string Reason(const std::string& fallback) const;

  private:
    static int OnError(TIFF*, void* self, const char* module, const char* format,
                       std::va_list args);
    static int OnWarning(TIFF*, void* self, const char* module, const char* format,
                         std::va_list args);
    // The message as our own messages word it (without the file's name).
    std::string Text(const char* module, const char* format, std::va_list args) const;
    void Keep(std::string text);

    // A damaged page can make libtiff report every row of it.
    static constexpr size_t kKeptMessages = 8;

    TIFFOpenOptions* options_;
    std::string prefix_;
    std::string firstError_;
    std::vector<std::string> messages_;
};

// One TIFF or .mdi file opened for reading with libtiff. libtiff's errors and
// warnings for this file are collected here (its per-file handlers), never printed
// and never routed through the process-wide handlers. An .mdi header is shown to
// libtiff as the little-endian TIFF header it stands for.
class TiffFile {
  public:
    // Opens `path`; messages name the file as `name`. Raises folio::Error for a
    // missing file, a folder, no permission, an empty or foreign file, or a header
    // libtiff cannot read.
    static std::unique_ptr<TiffFile> Open(const std::filesystem::path& path,
                                          const std::string& name);
    // The same on bytes held in memory.
    static std::unique_ptr<TiffFile> OpenBytes(std::vector<uint8_t> bytes, const std::string& name);
    // The same file once more, with a libtiff handle of its own on a duplicate of
    // this one's descriptor: it reads what was opened even after another file has
    // taken the path. Null for bytes held in memory. Raises folio::Error when no
    // descriptor is to be had.
    std::unique_ptr<TiffFile> Duplicate() const;

    ~TiffFile();
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;

    TIFF* Handle() const { return tif_; }
    ContainerFormat Format() const;
    const std::string& Name() const;
    uint64_t Size() const;

    // Reads up to `count` raw bytes at `offset` (as libtiff sees them); returns
    // how many were read, or -1.
    int64_t ReadAt(uint64_t offset, uint8_t* out, uint64_t count) const;
    // Where the "next page" pointer of the directory at `offset` leads, read
    // straight from the file; 0 at the last page or when it cannot be read.
    uint64_t NextDirectoryOffset(uint64_t offset) const;
    // One entry of the directory at `directory` as the file stores it, before
    // libtiff fills in defaults or mends what is missing: its type, its count, and
    // its first value when that is a SHORT or LONG held in the entry itself.
    struct StoredEntry {
        uint16_t type = 0;
        uint64_t count = 0;
        uint64_t value = 0;
    };
    std::optional<StoredEntry> FindStoredEntry(uint64_t directory, uint16_t tag) const;
    // Makes the page whose directory starts at `offset` libtiff's current one, as
    // the file holds it now (not as read for an earlier page); false when it cannot.
    bool SelectPage(uint64_t offset);

    // libtiff's first error for this file since the last call ("" if none); forgets
    // all it reported.
    std::string TakeError();
    // libtiff's errors and warnings for this file since the last call, in order (the
    // first few), forgotten.
    std::vector<std::string> TakeMessages();

    struct Source;

  private:
    explicit TiffFile(std::unique_ptr<Source> source);
    void OpenTiff();

    std::unique_ptr<Source> source_;
    TIFF* tif_ = nullptr;
};

// A TIFF written into memory, so that a page can be compressed on any thread
// without touching the output file.
class MemoryTiff {
  public:
    // Raises folio::Error when libtiff cannot start the file.
    MemoryTiff();
    ~MemoryTiff();
    MemoryTiff(const MemoryTiff&) = delete;
    MemoryTiff& operator=(const MemoryTiff&) = delete;

    TIFF* Handle() const { return tif_; }
    const TiffMessageLog& Log() const { return log_; }
    // The bytes written so far at [offset, offset + size), or empty when out of range.
    std::vector<uint8_t> Bytes(uint64_t offset, uint64_t size) const;

    struct Store : TiffStorage {
        int64_t ReadAt(uint64_t offset, uint8_t* out, uint64_t count) override;
        bool WriteAt(uint64_t offset, const uint8_t* data, uint64_t size) override;
        uint64_t Size() const override { return bytes.size(); }

        std::vector<uint8_t> bytes;
    };

  private:
    TiffMessageLog log_;
    Store store_;
    TIFF* tif_ = nullptr;
};

// The document's own file (TIFF or .mdi) opened read-only, for copying pages'
// compressed data unchanged.
class TiffSourceFile {
  public:
    // The document's file as PageSource::OpenFile gives it; unopened when there is
    // none: the writer then decodes every page instead of copying.
    explicit TiffSourceFile(std::unique_ptr<TiffFile> file) : file_(std::move(file)) {}

    bool IsOpen() const { return file_ != nullptr; }
    TIFF* Handle() const { return file_ ? file_->Handle() : nullptr; }
    // Makes the page whose directory starts at `offset` the current one.
    bool SelectPage(uint64_t offset);
    uint64_t FileSize() const { return file_ ? file_->Size() : 0; }
    // Reads exactly `size` bytes at `offset` as libtiff sees them; false (and an
    // error for TakeError) when the file no longer holds them.
    bool ReadRange(uint64_t offset, uint8_t* out, uint64_t size);
    // libtiff's first error on the file since the last call, or `fallback`.
    std::string TakeError(const std::string& fallback);

  private:
    std::unique_ptr<TiffFile> file_;
    std::string readError_;
};

// Where one compressed strip or tile lies in a file.
struct ChunkSpan {
    uint64_t offset = 0;
    uint64_t size = 0;
};

// Consecutive chunks [first, first + count) read together as the bytes
// [offset, offset + size) of the file.
struct ChunkRun {
    uint64_t offset = 0;
    uint64_t size = 0;
    uint32_t first = 0;
    uint32_t count = 0;
};

// Groups chunks, in their order, into runs that can each be read at once: every
// chunk starts at or after the end of the one before it, with at most `maxGap`
// unused bytes between them, and a run spans at most `maxRun` bytes (a larger chunk
// makes a run of its own).
std::vector<ChunkRun> GroupChunks(const std::vector<ChunkSpan>& chunks, uint64_t maxGap,
                                  uint64_t maxRun);

}  // namespace folio::engine
