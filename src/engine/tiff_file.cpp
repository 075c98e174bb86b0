#include "engine/tiff_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/engine_limits.h"
#include "engine/tiff_client_procs.h"

namespace folio::engine {

// Where the bytes come from (a file descriptor or memory), the read position, and
// what libtiff said about the file.
struct TiffFile::Source {
    std::string name;
    int fd = -1;
    std::vector<uint8_t> memory;
    uint64_t size = 0;
    uint64_t position = 0;
    ContainerFormat format = ContainerFormat::Unknown;
    std::string error;

    ~Source() {
        if (fd >= 0) {
            ::close(fd);
        }
    }

    // Reads up to `count` bytes at `offset`; returns the number read or -1.
    int64_t ReadAt(uint64_t offset, uint8_t* out, uint64_t count) {
        if (offset >= size) {
            return 0;
        }
        count = std::min(count, size - offset);
        if (fd < 0) {
            std::memcpy(out, memory.data() + offset, count);
        } else {
            uint64_t done = 0;
            while (done < count) {
                const ssize_t n =
                    ::pread(fd, out + done, count - done, static_cast<off_t>(offset + done));
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n < 0) {
                    return -1;
                }
                if (n == 0) {
                    break;
                }
                done += static_cast<uint64_t>(n);
            }
            count = done;
        }
        // libtiff knows the .mdi header as the little-endian TIFF it is.
        if (format == ContainerFormat::Mdi) {
            for (uint64_t i = offset; i < 2 && i < offset + count; ++i) {
                out[i - offset] = 'I';
            }
        }
        return static_cast<int64_t>(count);
    }
};

namespace {

TiffFile::Source& SourceOf(thandle_t handle) {
    return *static_cast<TiffFile::Source*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    auto& source = SourceOf(handle);
    if (size < 0) {
        return -1;
    }
    const int64_t n =
        source.ReadAt(source.position, static_cast<uint8_t*>(buffer), static_cast<uint64_t>(size));
    if (n > 0) {
        source.position += static_cast<uint64_t>(n);
    }
    return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    auto& source = SourceOf(handle);
    const toff_t target = SeekTarget(source.position, source.size, offset, whence);
    if (target != static_cast<toff_t>(-1)) {
        source.position = target;
    }
    return target;
}

toff_t SizeProc(thandle_t handle) {
    return SourceOf(handle).size;
}

int ErrorHandler(TIFF*, void* userData, const char* module, const char* format, va_list args) {
    auto& source = *static_cast<TiffFile::Source*>(userData);
    if (source.error.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        source.error = text;
        // Many messages start with the file's name, which ours already carry.
        const std::string prefix = source.name + ": ";
        if (source.error.rfind(prefix, 0) == 0) {
            source.error.erase(0, prefix.size());
        }
        (void)module;
    }
    return 1;  // handled: nothing goes to the process-wide handlers
}

int WarningHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

[[noreturn]] void Fail(int32_t number, const std::string& name, const std::string& what) {
    throw Error(number, name + ": " + what);
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

std::unique_ptr<TiffFile> TiffFile::Open(const std::string& path, const std::string& name) {
    auto source = std::make_unique<Source>();
    source->name = name;
    source->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (source->fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            Fail(errors::kFileNotFound, name, "file not found");
        }
        if (error == EACCES || error == EPERM) {
            Fail(errors::kPermissionDenied, name, "permission denied");
        }
        Fail(errors::kDeviceIoError, name, std::string("cannot open: ") + std::strerror(error));
    }
    struct stat info {};
    if (::fstat(source->fd, &info) != 0) {
        Fail(errors::kDeviceIoError, name, std::string("cannot open: ") + std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        Fail(errors::kInvalidFileFormat, name, "is a folder, not a document");
    }
    if (!S_ISREG(info.st_mode)) {
        Fail(errors::kInvalidFileFormat, name, "not a regular file");
    }
    source->size = static_cast<uint64_t>(info.st_size);
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
    auto source = std::make_unique<Source>();
    source->name = name;
    source->memory = std::move(bytes);
    source->size = source->memory.size();
    source->format = SniffContainer(source->memory.data(), source->memory.size());
    CheckContainer(*source);
    std::unique_ptr<TiffFile> file(new TiffFile(std::move(source)));
    file->OpenTiff();
    return file;
}

void TiffFile::OpenTiff() {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, ErrorHandler, source_.get());
    TIFFOpenOptionsSetWarningHandlerExtR(options, WarningHandler, source_.get());
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kMaxLibtiffAllocation));
    // "m": no memory mapping (we supply the bytes ourselves).
    tif_ = TIFFClientOpenExt(source_->name.c_str(), "rm", source_.get(), ReadProc, WriteProc,
                             SeekProc, CloseNothing, SizeProc, MapNothing, UnmapNothing, options);
    TIFFOpenOptionsFree(options);
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

uint64_t TiffFile::NextDirectoryOffset(uint64_t offset) const {
    const bool big = TIFFIsBigTIFF(tif_) != 0;
    const bool swapped = TIFFIsByteSwapped(tif_) != 0;
    const auto value = [&](uint64_t at, int size) -> std::optional<uint64_t> {
        uint8_t bytes[8] = {};
        if (ReadAt(at, bytes, static_cast<uint64_t>(size)) != size) {
            return std::nullopt;
        }
        uint64_t v = 0;
        for (int i = 0; i < size; ++i) {
            const int k = swapped ? i : size - 1 - i;  // most significant first
            v = (v << 8) | bytes[k];
        }
        return v;
    };
    const auto count = value(offset, big ? 8 : 2);
    if (!count) {
        return 0;
    }
    const uint64_t entries = offset + (big ? 8 : 2) + *count * (big ? 20 : 12);
    return value(entries, big ? 8 : 4).value_or(0);
}

std::string TiffFile::TakeError() {
    std::string error;
    error.swap(source_->error);
    return error;
}

}  // namespace folio::engine
