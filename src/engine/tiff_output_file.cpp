#include "engine/tiff_output_file.h"

#include <cerrno>

#include "engine/tiff_client_procs.h"

namespace folio::engine {
namespace {

TiffOutputFile::Client& ClientOf(thandle_t handle) {
    return *static_cast<TiffOutputFile::Client*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* out, tmsize_t size) {
    auto& c = ClientOf(handle);
    if (size < 0) {
        return -1;
    }
    const int64_t n =
        c.buffer.Read(c.position, static_cast<uint8_t*>(out), static_cast<size_t>(size));
    if (n > 0) {
        c.position += static_cast<uint64_t>(n);
    }
    return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t handle, void* data, tmsize_t size) {
    auto& c = ClientOf(handle);
    if (size < 0 ||
        !c.buffer.Write(c.position, static_cast<const uint8_t*>(data), static_cast<size_t>(size))) {
        return -1;
    }
    c.position += static_cast<uint64_t>(size);
    return size;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    auto& c = ClientOf(handle);
    const toff_t target = SeekTarget(c.position, c.buffer.Size(), offset, whence);
    if (target == static_cast<toff_t>(-1)) {
        errno = EINVAL;
    } else {
        c.position = target;
    }
    return target;
}

toff_t SizeProc(thandle_t handle) {
    return ClientOf(handle).buffer.Size();
}

}  // namespace

TiffOutputFile::TiffOutputFile(int fd, const std::string& name, bool bigTiff,
                               const TiffMessageLog& log, size_t bufferBytes)
    : buffer_(fd, 0, bufferBytes), client_{buffer_} {
    tif_ = TIFFClientOpenExt(name.c_str(), bigTiff ? "w8" : "w", &client_, ReadProc, WriteProc,
                             SeekProc, CloseNothing, SizeProc, MapNothing, UnmapNothing,
                             log.Options());
}

TiffOutputFile::~TiffOutputFile() {
    if (tif_ != nullptr) {
        TIFFClose(tif_);
    }
}

void TiffOutputFile::PageWritten() {
    buffer_.HoldFrom(lastPageEnd_);
    lastPageEnd_ = buffer_.Size();
}

bool TiffOutputFile::Finish() {
    if (TIFFFlush(tif_) != 1) {
        if (Error() != 0) {
            errno = Error();
        }
        return false;
    }
    // Closed now, so that nothing touches the descriptor once the caller is done
    // with it.
    TIFFClose(tif_);
    tif_ = nullptr;
    return buffer_.Flush();
}

}  // namespace folio::engine
