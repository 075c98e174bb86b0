// Reading and writing TIFF through libtiff on storage of our own: the one set of
// client callbacks, the one collector of libtiff's messages, a document's file
// opened for reading (by path or from memory), a TIFF written into memory, and
// reading ranges of a file's compressed data.

#include "engine/tiff/tiff_io.h"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/tiff/located_error.h"
#include "sys/files.h"

namespace folio::engine {

namespace {

struct Magic {
    std::array<uint8_t, 4> bytes;
    ContainerFormat format;
};

constexpr Magic kMagics[] = {
    {{'I', 'I', 42, 0}, ContainerFormat::Tiff},  // little-endian classic
    {{'M', 'M', 0, 42}, ContainerFormat::Tiff},  // big-endian classic
    {{'I', 'I', 43, 0}, ContainerFormat::Tiff},  // little-endian BigTIFF
    {{'M', 'M', 0, 43}, ContainerFormat::Tiff},  // big-endian BigTIFF
    {{'E', 'P', 42, 0}, ContainerFormat::Mdi},
};

}  // namespace

ContainerFormat SniffContainer(const uint8_t* head, size_t size) {
    const size_t n = size < 4 ? size : 4;
    for (const auto& magic : kMagics) {
        if (n > 0 && std::memcmp(head, magic.bytes.data(), n) == 0) {
            return n == 4 ? magic.format : ContainerFormat::Truncated;
        }
    }
    return ContainerFormat::Unknown;
}

std::string ContainerName(ContainerFormat format) {
    return format == ContainerFormat::Mdi ? "MDI" : "TIFF";
}

namespace {

TiffStorage& StorageOf(thandle_t handle) {
    return *static_cast<TiffStorage*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    TiffStorage& s = StorageOf(handle);
    if (size < 0) {
        return -1;
    }
    const int64_t n =
        s.ReadAt(s.position, static_cast<uint8_t*>(buffer), static_cast<uint64_t>(size));
    if (n > 0) {
        s.position += static_cast<uint64_t>(n);
    }
    return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t handle, void* data, tmsize_t size) {
    TiffStorage& s = StorageOf(handle);
    if (size < 0 ||
        !s.WriteAt(s.position, static_cast<const uint8_t*>(data), static_cast<uint64_t>(size))) {
        return -1;
    }
    s.position += static_cast<uint64_t>(size);
    return size;
}

// `offset` from the start, from the current position or from the end; libtiff
// passes negative relative offsets as large unsigned values. A position before
// the start or an unknown `whence` fails with EINVAL.
toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    TiffStorage& s = StorageOf(handle);
    uint64_t base = 0;
    if (whence == SEEK_CUR) {
        base = s.position;
    } else if (whence == SEEK_END) {
        base = s.Size();
    } else if (whence != SEEK_SET) {
        errno = EINVAL;
        return static_cast<toff_t>(-1);
    }
    if (whence != SEEK_SET && static_cast<int64_t>(offset) < 0 &&
        static_cast<uint64_t>(-static_cast<int64_t>(offset)) > base) {
        errno = EINVAL;
        return static_cast<toff_t>(-1);
    }
    s.position = base + offset;
    return s.position;
}

toff_t SizeProc(thandle_t handle) {
    return StorageOf(handle).Size();
}

int CloseNothing(thandle_t) {
    return 0;
}

int MapNothing(thandle_t, void**, toff_t*) {
    return 0;
}

void UnmapNothing(thandle_t, void*, toff_t) {}

}  // namespace

TIFF* OpenTiffClient(const std::string& name, const char* mode, TiffStorage& storage,
                     TIFFOpenOptions* options) {
    return TIFFClientOpenExt(name.c_str(), mode, &storage, ReadProc, WriteProc, SeekProc,
                             CloseNothing, SizeProc, MapNothing, UnmapNothing, options);
}

template <typename T>
T Defaulted(TIFF* tif, uint32_t tag) {
    T value{};
    TIFFGetFieldDefaulted(tif, tag, &value);
    return value;
}

template uint16_t Defaulted<uint16_t>(TIFF*, uint32_t);
template uint32_t Defaulted<uint32_t>(TIFF*, uint32_t);

TiffMessageLog::TiffMessageLog(std::string fileName)
    : options_(TIFFOpenOptionsAlloc()), prefix_(fileName.empty() ? "" : fileName + ": ") {
    TIFFOpenOptionsSetErrorHandlerExtR(options_, &TiffMessageLog::OnError, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options_, &TiffMessageLog::OnWarning, this);
    // Refuse absurd single allocations.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options_, kMaxLibtiffAllocation);
}

TiffMessageLog::~TiffMessageLog() {
    TIFFOpenOptionsFree(options_);
}

void TiffMessageLog::Clear() {
    firstError_.clear();
    messages_.clear();
}

std::string TiffMessageLog::Take() {
    std::string error;
    error.swap(firstError_);
    messages_.clear();
    return error;
}

std::vector<std::string> TiffMessageLog::TakeMessages() {
    std::vector<std::string> messages;
    messages.swap(messages_);
    firstError_.clear();
    return messages;
}

std::string TiffMessageLog::Reason(const std::string& fallback) const {
    return firstError_.empty() ? fallback : firstError_;
}

std::string TiffMessageLog::Text(const char* module, const char* format, std::va_list args) const {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string message = text;
    if (!prefix_.empty() && message.rfind(prefix_, 0) == 0) {
        message.erase(0, prefix_.size());
    }
    if (message.empty() && module != nullptr) {
        message = module;
    }
    return message;
}

void TiffMessageLog::Keep(std::string text) {
    if (messages_.size() < kKeptMessages) {
        messages_.push_back(std::move(text));
    }
}

int TiffMessageLog::OnError(TIFF*, void* self, const char* module, const char* format,
                            std::va_list args) {
    auto* log = static_cast<TiffMessageLog*>(self);
    if (!log->firstError_.empty() && log->messages_.size() >= kKeptMessages) {
        return 1;  // nothing more is kept
    }
    std::string text = log->Text(module, format, args);
    if (log->firstError_.empty()) {
        log->firstError_ = text;
    }
    log->Keep(std::move(text));
    return 1;  // handled: nothing goes to the process-wide handlers
}

int TiffMessageLog::OnWarning(TIFF*, void* self, const char* module, const char* format,
                              std::va_list args) {
    auto* log = static_cast<TiffMessageLog*>(self);
    if (log->messages_.size() < kKeptMessages) {
        log->Keep(log->Text(module, format, args));
    }
    return 1;
}

// Where the bytes come from (a file or memory), and what libtiff said about the
// file.
struct TiffFile::Source : TiffStorage {
    explicit Source(const std::string& fileName) : name(fileName), log(fileName) {}

    std::string name;
    sys::ReadOnlyFile file;
    std::vector<uint8_t> memory;
    uint64_t size = 0;
    ContainerFormat format = ContainerFormat::Unknown;
    TiffMessageLog log;

    // libtiff reads a page's directory a few bytes at a time (the entry count, the
    // entries, each tag's values): such small reads come from one window of the file
    // read at once, which spares a long document thousands of system calls. A
    // page's data is read straight into place.
    static constexpr uint64_t kWindowBytes = 8 << 10;
    std::mutex windowMutex;
    std::vector<uint8_t> window;
    uint64_t windowStart = 0;
    uint64_t windowLength = 0;

    // Up to `count` bytes at `offset` from the file itself; how many, or -1.
    int64_t ReadFile(uint64_t offset, uint8_t* out, uint64_t count) const {
        size_t done = 0;
        if (sys::ReadAllAt(file.Handle(), offset, out, static_cast<size_t>(count), done) != 0) {
            return -1;
        }
        return static_cast<int64_t>(done);
    }

    int64_t ReadThroughWindow(uint64_t offset, uint8_t* out, uint64_t count) {
        std::lock_guard lock(windowMutex);
        if (offset < windowStart || offset + count > windowStart + windowLength) {
            window.resize(kWindowBytes);
            windowStart = offset & ~uint64_t{4095};
            const int64_t n =
                ReadFile(windowStart, window.data(), std::min(kWindowBytes, size - windowStart));
            windowLength = n < 0 ? 0 : static_cast<uint64_t>(n);
            if (n < 0) {
                return -1;
            }
        }
        const uint64_t end = windowStart + windowLength;  // the file may have shrunk
        count = offset < end ? std::min(count, end - offset) : 0;
        if (count > 0) {
            std::memcpy(out, window.data() + (offset - windowStart), count);
        }
        return static_cast<int64_t>(count);
    }

    int64_t ReadAt(uint64_t offset, uint8_t* out, uint64_t count) override {
        if (offset >= size) {
            return 0;
        }
        count = std::min(count, size - offset);
        if (!file.IsOpen()) {
            std::memcpy(out, memory.data() + offset, count);
        } else {
            const int64_t n = count < kWindowBytes / 4 ? ReadThroughWindow(offset, out, count)
                                                       : ReadFile(offset, out, count);
            if (n < 0) {
                return -1;
            }
            count = static_cast<uint64_t>(n);
        }
        // libtiff knows the .mdi header as the little-endian TIFF it is.
        if (format == ContainerFormat::Mdi) {
            for (uint64_t i = offset; i < 2 && i < offset + count; ++i) {
                out[i - offset] = 'I';
            }
        }
        return static_cast<int64_t>(count);
    }

    bool WriteAt(uint64_t, const uint8_t*, uint64_t) override { return false; }
    uint64_t Size() const override { return size; }
};

namespace {

[[noreturn]] void Fail(int32_t number, const std::string& name, const std::string& what) {
    throw LocatedError(number, name, what);
}

void CheckContainer(const TiffFile::Source& source) {
    if (source.size == 0) {
        Fail(errors::kInvalidFileFormat, source.name, "the file is empty");
    }
    switch (source.format) {
        case ContainerFormat::Unknown:
            Fail(errors::kInvalidFileFormat, source.name, "not a TIFF or MDI document");
        case ContainerFormat::Truncated:
            Fail(errors::kDamagedFile, source.name, "the file is truncated");
        default:
            break;
    }
}

}  // namespace

TiffFile::TiffFile(std::unique_ptr<Source> source) : source_(std::move(source)) {}

TiffFile::~TiffFile() {
    if (tif_) {
        TIFFClose(tif_);
    }
}

std::unique_ptr<TiffFile> TiffFile::Open(const std::filesystem::path& path,
                                         const std::string& name) {
    auto source = std::make_unique<Source>(name);
    if (const int error = source->file.Open(path); error != 0) {
        switch (sys::ClassifyWriteError(error)) {
            case sys::WriteFailure::NotFound:
                Fail(errors::kFileNotFound, name, "file not found");
            case sys::WriteFailure::AccessDenied:
                Fail(errors::kPermissionDenied, name, "permission denied");
            default:
                break;
        }
        Fail(errors::kDeviceIoError, name, std::string("cannot open: ") + std::strerror(error));
    }
    if (source->file.FileKind() == sys::ReadOnlyFile::Kind::Folder) {
        Fail(errors::kInvalidFileFormat, name, "is a folder, not a document");
    }
    if (source->file.FileKind() != sys::ReadOnlyFile::Kind::Regular) {
        Fail(errors::kInvalidFileFormat, name, "not a regular file");
    }
    source->size = source->file.Size();
    uint8_t head[4] = {};
    const int64_t got = source->ReadAt(0, head, sizeof head);
    if (got < 0) {
        Fail(errors::kDeviceIoError, name, "cannot read the file");
    }
    source->format = SniffContainer(head, static_cast<size_t>(got));
    CheckContainer(*source);
    std::unique_ptr<TiffFile> file(new TiffFile(std::move(source)));
    file->OpenTiff();
    return file;
}

std::unique_ptr<TiffFile> TiffFile::OpenBytes(std::vector<uint8_t> bytes, const std::string& name) {
    auto source = std::make_unique<Source>(name);
    source->memory = std::move(bytes);
    source->size = source->memory.size();
    source->format = SniffContainer(source->memory.data(), source->memory.size());
    CheckContainer(*source);
    std::unique_ptr<TiffFile> file(new TiffFile(std::move(source)));
    file->OpenTiff();
    return file;
}

bool TiffFile::SelectPage(uint64_t offset) {
    {
        std::lock_guard lock(source_->windowMutex);
        source_->windowLength = 0;
    }
    return TIFFSetSubDirectory(tif_, offset) == 1;
}

std::unique_ptr<TiffFile> TiffFile::Duplicate() const {
    if (!source_->file.IsOpen()) {
        return nullptr;
    }
    auto source = std::make_unique<Source>(source_->name);
    if (const int error = source_->file.Duplicate(source->file); error != 0) {
        Fail(errors::kDeviceIoError, source_->name,
             std::string("cannot open again: ") + std::strerror(error));
    }
    source->size = source_->size;
    source->format = source_->format;
    std::unique_ptr<TiffFile> file(new TiffFile(std::move(source)));
    file->OpenTiff();
    return file;
}

void TiffFile::OpenTiff() {
    // "m": no memory mapping (we supply the bytes ourselves).
    tif_ = OpenTiffClient(source_->name, "rm", *source_, source_->log.Options());
    if (!tif_) {
        const std::string why = TakeError();
        Fail(errors::kDamagedFile, source_->name,
             "damaged file, its first page cannot be read" + (why.empty() ? "" : " (" + why + ")"));
    }
}

ContainerFormat TiffFile::Format() const {
    return source_->format;
}

const std::string& TiffFile::Name() const {
    return source_->name;
}

uint64_t TiffFile::Size() const {
    return source_->size;
}

int64_t TiffFile::ReadAt(uint64_t offset, uint8_t* out, uint64_t count) const {
    return source_->ReadAt(offset, out, count);
}

namespace {

// Reads directory entries straight from the file, in its byte order and layout.
class RawDirectoryReader {
  public:
    RawDirectoryReader(const TiffFile& file, TIFF* tif)
        : file_(file), big_(TIFFIsBigTIFF(tif) != 0), swapped_(TIFFIsByteSwapped(tif) != 0) {}

    std::optional<uint64_t> Value(uint64_t at, int size) const {
        uint8_t bytes[8] = {};
        if (file_.ReadAt(at, bytes, static_cast<uint64_t>(size)) != size) {
            return std::nullopt;
        }
        return Decode(bytes, size);
    }

    uint64_t Decode(const uint8_t* bytes, int size) const {
        uint64_t v = 0;
        for (int i = 0; i < size; ++i) {
            const int k = swapped_ ? i : size - 1 - i;  // most significant first
            v = (v << 8) | bytes[k];
        }
        return v;
    }

    std::optional<uint64_t> EntryCount(uint64_t directory) const {
        return Value(directory, big_ ? 8 : 2);
    }
    uint64_t EntryOffset(uint64_t directory, uint64_t index) const {
        return directory + (big_ ? 8 : 2) + index * (big_ ? 20 : 12);
    }
    int WordSize() const { return big_ ? 8 : 4; }
    uint64_t EntrySize() const { return big_ ? 20 : 12; }

  private:
    const TiffFile& file_;
    bool big_;
    bool swapped_;
};

}  // namespace

uint64_t TiffFile::NextDirectoryOffset(uint64_t offset) const {
    const RawDirectoryReader raw(*this, tif_);
    const auto count = raw.EntryCount(offset);
    if (!count) {
        return 0;
    }
    return raw.Value(raw.EntryOffset(offset, *count), raw.WordSize()).value_or(0);
}

std::optional<TiffFile::StoredEntry> TiffFile::FindStoredEntry(uint64_t directory,
                                                               uint16_t tag) const {
    const RawDirectoryReader raw(*this, tif_);
    const auto count = raw.EntryCount(directory);
    // (libtiff reads no directory of more entries; a larger count is damage.)
    if (!count || *count > 0xFFFF || *count > Size() / raw.EntrySize()) {
        return std::nullopt;
    }
    // The whole table at once: a directory is read for every page as a file opens.
    std::vector<uint8_t> table(static_cast<size_t>(*count * raw.EntrySize()));
    if (ReadAt(raw.EntryOffset(directory, 0), table.data(), table.size()) !=
        static_cast<int64_t>(table.size())) {
        return std::nullopt;
    }
    const int word = raw.WordSize();
    for (size_t at = 0; at < table.size(); at += raw.EntrySize()) {
        const uint8_t* e = table.data() + at;
        if (raw.Decode(e, 2) != tag) {
            continue;
        }
        StoredEntry entry;
        entry.type = static_cast<uint16_t>(raw.Decode(e + 2, 2));
        entry.count = raw.Decode(e + 4, word);
        const int valueSize = entry.type == TIFF_SHORT ? 2 : entry.type == TIFF_LONG ? 4 : 0;
        if (valueSize > 0 && entry.count >= 1) {
            entry.value = raw.Decode(e + 4 + word, valueSize);
        }
        return entry;
    }
    return std::nullopt;
}

std::string TiffFile::TakeError() {
    return source_->log.Take();
}

std::vector<std::string> TiffFile::TakeMessages() {
    return source_->log.TakeMessages();
}

int64_t MemoryTiff::Store::ReadAt(uint64_t offset, uint8_t* out, uint64_t count) {
    if (offset >= bytes.size()) {
        return 0;
    }
    const uint64_t n = std::min<uint64_t>(count, bytes.size() - offset);
    std::memcpy(out, bytes.data() + offset, n);
    return static_cast<int64_t>(n);
}

bool MemoryTiff::Store::WriteAt(uint64_t offset, const uint8_t* data, uint64_t size) {
    const uint64_t end = offset + size;
    if (end > bytes.size()) {
        bytes.resize(end);
    }
    std::memcpy(bytes.data() + offset, data, size);
    return true;
}

MemoryTiff::MemoryTiff() {
    tif_ = OpenTiffClient("memory", "w", store_, log_.Options());
    if (tif_ == nullptr) {
        throw Error(errors::kOutOfMemory, log_.Reason("libtiff cannot start a page in memory"));
    }
}

MemoryTiff::~MemoryTiff() {
    // Nothing of it is wanted once its strips are taken: skip writing a directory.
    TIFFCleanup(tif_);
}

std::vector<uint8_t> MemoryTiff::Bytes(uint64_t offset, uint64_t size) const {
    if (offset > store_.bytes.size() || size > store_.bytes.size() - offset) {
        return {};
    }
    const auto begin = store_.bytes.begin() + static_cast<std::ptrdiff_t>(offset);
    return std::vector<uint8_t>(begin, begin + static_cast<std::ptrdiff_t>(size));
}

bool TiffSourceFile::SelectPage(uint64_t offset) {
    return file_ != nullptr && file_->SelectPage(offset);
}

bool TiffSourceFile::ReadRange(uint64_t offset, uint8_t* out, uint64_t size) {
    if (file_ != nullptr && file_->ReadAt(offset, out, size) == static_cast<int64_t>(size)) {
        return true;
    }
    if (readError_.empty()) {
        readError_ = "the page's data can no longer be read from the document's file";
    }
    return false;
}

std::string TiffSourceFile::TakeError(const std::string& fallback) {
    std::string error = file_ ? file_->TakeError() : std::string();
    if (error.empty()) {
        error.swap(readError_);
    }
    readError_.clear();
    return error.empty() ? fallback : error;
}

std::vector<ChunkRun> GroupChunks(const std::vector<ChunkSpan>& chunks, uint64_t maxGap,
                                  uint64_t maxRun) {
    std::vector<ChunkRun> runs;
    for (uint32_t i = 0; i < chunks.size(); ++i) {
        const ChunkSpan& chunk = chunks[i];
        if (!runs.empty()) {
            ChunkRun& run = runs.back();
            const uint64_t end = run.offset + run.size;
            if (chunk.offset >= end && chunk.offset - end <= maxGap &&
                chunk.offset + chunk.size - run.offset <= maxRun) {
                run.size = chunk.offset + chunk.size - run.offset;
                ++run.count;
                continue;
            }
        }
        runs.push_back(ChunkRun{chunk.offset, chunk.size, i, 1});
    }
    return runs;
}

}  // namespace folio::engine
