#include "engine/tiff_source_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace folio::engine {
namespace {

int Fd(thandle_t handle) {
    return static_cast<int>(reinterpret_cast<intptr_t>(handle));
}

// The .mdi container is a little-endian TIFF whose first two bytes read "EP"
// instead of "II"; reads of those bytes are answered with "II".
tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    const off_t at = ::lseek(Fd(handle), 0, SEEK_CUR);
    const ssize_t got = ::read(Fd(handle), buffer, static_cast<size_t>(size));
    auto* bytes = static_cast<unsigned char*>(buffer);
    for (off_t i = at; got > 0 && at >= 0 && i < 2 && i - at < got; ++i) {
        if (bytes[i - at] == 'E' || bytes[i - at] == 'P') {
            bytes[i - at] = 'I';
        }
    }
    return got;
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    const off_t at = ::lseek(Fd(handle), static_cast<off_t>(offset), whence);
    return at < 0 ? static_cast<toff_t>(-1) : static_cast<toff_t>(at);
}

int CloseProc(thandle_t) {
    return 0;
}

toff_t SizeProc(thandle_t handle) {
    struct stat st {};
    return ::fstat(Fd(handle), &st) == 0 ? static_cast<toff_t>(st.st_size) : 0;
}

int MapProc(thandle_t, void**, toff_t*) {
    return 0;
}
void UnmapProc(thandle_t, void*, toff_t) {}

bool HasTiffOrMdiHeader(int fd) {
    unsigned char head[4] = {};
    if (::pread(fd, head, 4, 0) != 4) {
        return false;
    }
    const bool mdi = head[0] == 'E' && head[1] == 'P' && head[2] == 0x2A && head[3] == 0;
    const bool little = head[0] == 'I' && head[1] == 'I';
    const bool big = head[0] == 'M' && head[1] == 'M';
    return mdi || little || big;
}

}  // namespace

TiffSourceFile::TiffSourceFile(const std::string& path) {
    if (path.empty()) {
        return;
    }
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        return;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || !HasTiffOrMdiHeader(fd_)) {
        return;
    }
    size_ = static_cast<uint64_t>(st.st_size);
    // "h": no directory is read until a page is selected.
    tif_ = TIFFClientOpenExt(path.c_str(), "rh", reinterpret_cast<thandle_t>(intptr_t{fd_}),
                             ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc, UnmapProc,
                             log_.Options());
}

TiffSourceFile::~TiffSourceFile() {
    if (tif_ != nullptr) {
        TIFFClose(tif_);
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool TiffSourceFile::SelectPage(uint64_t offset) {
    return tif_ != nullptr && TIFFSetSubDirectory(tif_, offset) == 1;
}

std::string TiffSourceFile::TakeError(const std::string& fallback) {
    std::string error = log_.Reason(fallback);
    log_.Clear();
    return error;
}

}  // namespace folio::engine
