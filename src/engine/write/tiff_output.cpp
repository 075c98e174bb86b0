// Writing output files: positioned writes gathered in memory and sent on the
// executor's workers, and libtiff writing a TIFF through them.

#include "engine/write/tiff_output.h"

#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "engine/tiff/tiff_io.h"
#include "sys/memory.h"

namespace folio::engine {

namespace {

// The disk starts on the bytes at once, without waiting for them, so that the
// flush before the file is committed has little left to do.
int WriteAndStartDisk(sys::FileHandle file, const uint8_t* data, uint64_t offset, size_t size) {
    const int error = sys::WriteAllAt(file, offset, data, size);
    if (error == 0) {
        sys::StartWritingOut(file, offset, size);
    }
    return error;
}

}  // namespace

BackgroundWriter::~BackgroundWriter() {
    Wait();
}

void BackgroundWriter::Start(const uint8_t* data, uint64_t offset, size_t size) {
    write_.Run(
        [this, data, offset, size] { error_ = WriteAndStartDisk(file_, data, offset, size); });
}

int BackgroundWriter::Wait() {
    write_.Wait();  // the write raises nothing
    return std::exchange(error_, 0);
}

void FileWriteBuffer::Free::operator()(uint8_t* p) const {
    sys::FreeWriteBuffer(p);
}

FileWriteBuffer::FileWriteBuffer(sys::FileHandle file, uint64_t existingSize, size_t capacity)
    : file_(file),
      capacity_(std::max<size_t>(capacity, 1)),
      storage_(static_cast<uint8_t*>(sys::AllocateWriteBuffer(2 * capacity_))),
      buffer_(storage_.get()),
      sending_(storage_.get() + capacity_),
      sender_(file),
      start_(existingSize),
      written_(existingSize) {}

bool FileWriteBuffer::Failed(int err) {
    if (error_ == 0) {
        error_ = err;
    }
    errno = err;
    return false;
}

bool FileWriteBuffer::Settle() {
    const int err = sender_.Wait();
    if (err != 0) {
        return Failed(err);
    }
    written_ = std::max(written_, start_);
    return error_ == 0 || Failed(error_);
}

bool FileWriteBuffer::Send(bool all) {
    if (!Settle()) {
        return false;
    }
    const size_t held =
        all || holdFrom_ <= start_ ? 0 : static_cast<size_t>(Size() - std::min(holdFrom_, Size()));
    const size_t sent = length_ - held;
    if (sent == 0) {
        return true;
    }
    std::memcpy(sending_, buffer_ + sent, held);
    std::swap(buffer_, sending_);
    sender_.Start(sending_, start_, sent);
    start_ += sent;
    length_ = held;
    return true;
}

bool FileWriteBuffer::WriteThrough(uint64_t offset, const uint8_t* data, size_t size) {
    if (!Settle()) {
        return false;
    }
    const int err = sys::WriteAllAt(file_, offset, data, size);
    return err == 0 || Failed(err);
}

bool FileWriteBuffer::InBuffers(const uint8_t* data) const {
    return data >= storage_.get() && data < storage_.get() + 2 * capacity_;
}

uint8_t* FileWriteBuffer::Reserve(size_t size) {
    if (length_ + size > capacity_ && (!Send(false) || length_ + size > capacity_)) {
        return nullptr;
    }
    return buffer_ + length_;
}

bool FileWriteBuffer::Write(uint64_t offset, const uint8_t* data, size_t size) {
    if (size == 0) {
        return true;  // as with pwrite, the file does not grow
    }
    // The part before the gathered tail is already on its way to the file: patch it there.
    if (offset < start_) {
        const size_t head = static_cast<size_t>(std::min<uint64_t>(size, start_ - offset));
        if (!WriteThrough(offset, data, head)) {
            return false;
        }
        offset += head;
        data += head;
        size -= head;
        if (size == 0) {
            return true;
        }
    }
    std::vector<uint8_t> copy;
    if (offset - start_ + size > capacity_) {
        if (InBuffers(data)) {
            // Placed after Reserve(); sending reuses the buffers.
            copy.assign(data, data + size);
            data = copy.data();
        }
        if (!Send(false)) {
            return false;
        }
        if (offset < start_ || offset - start_ + size > capacity_) {
            // Overlapping what was just sent, or too large to gather.
            const uint64_t end = offset + size;
            if (!Flush() || !WriteThrough(offset, data, size)) {
                return false;
            }
            start_ = std::max(start_, end);
            written_ = start_;
            return true;
        }
    }
    const size_t at = static_cast<size_t>(offset - start_);
    if (at > length_) {
        std::memset(buffer_ + length_, 0, at - length_);
    }
    if (buffer_ + at != data) {
        std::memmove(buffer_ + at, data, size);
    }
    length_ = std::max(length_, at + size);
    return true;
}

int64_t FileWriteBuffer::Read(uint64_t offset, uint8_t* out, size_t size) {
    size_t done = 0;
    if (offset < start_ && size > 0 && !Settle()) {
        return -1;
    }
    if (offset < start_ && size > 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(size, start_ - offset));
        if (const int err = sys::ReadAllAt(file_, offset, out, want, done); err != 0) {
            Failed(err);
            return -1;
        }
        if (done < want) {
            return static_cast<int64_t>(done);
        }
    }
    const uint64_t at = offset + done;
    if (done < size && at < Size()) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(size - done, Size() - at));
        std::memcpy(out + done, buffer_ + (at - start_), n);
        done += n;
    }
    return static_cast<int64_t>(done);
}

// The last bytes are written here: the caller waits for them anyway, and a file
// that fits in the buffer never needs a background write.
bool FileWriteBuffer::Flush() {
    if (!Settle()) {
        return false;
    }
    if (length_ > 0) {
        if (const int err = sys::WriteAllAt(file_, start_, buffer_, length_); err != 0) {
            return Failed(err);
        }
        start_ += length_;
        length_ = 0;
        written_ = start_;
    }
    return true;
}

TiffOutputFile::TiffOutputFile(sys::FileHandle file, const std::string& name, bool bigTiff,
                               const TiffMessageLog& log, size_t bufferBytes)
    : buffer_(file, 0, bufferBytes), client_(buffer_), name_(name), options_(log.Options()) {
    tif_ = OpenTiffClient(name, bigTiff ? "w8" : "w", client_, options_);
}

TiffOutputFile::~TiffOutputFile() {
    if (tif_ != nullptr) {
        TIFFClose(tif_);
    }
}

TIFF* TiffOutputFile::Reopen() {
    client_.position = 0;
    tif_ = OpenTiffClient(name_, "r+", client_, options_);
    return tif_;
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
