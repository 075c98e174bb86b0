// Writing output files: positioned writes gathered in memory and sent on a helper
// thread, and libtiff writing a TIFF through them.

#include "engine/write/tiff_output.h"

#include <tiffio.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <vector>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/tiff/tiff_io.h"

namespace folio::engine {

namespace {

// The disk starts on the bytes at once, without waiting for them, so that the
// flush before the file is committed has little left to do.
int WriteAndStartDisk(int fd, const uint8_t* data, uint64_t offset, size_t size) {
    const int error = sys::WriteAllAt(fd, offset, data, size);
#ifdef __linux__
    if (error == 0) {
        ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(size),
                          SYNC_FILE_RANGE_WRITE);
    }
#endif
    return error;
}

}  // namespace

BackgroundWriter::BackgroundWriter(int fd) : fd_(fd) {}

BackgroundWriter::~BackgroundWriter() {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BackgroundWriter::Start(const uint8_t* data, uint64_t offset, size_t size) {
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            // No thread to be had: the write is made here, as the caller waits.
            error_ = WriteAndStartDisk(fd_, data, offset, size);
            return;
        }
    }
    {
        std::lock_guard lock(mutex_);
        data_ = data;
        offset_ = offset;
        size_ = size;
        busy_ = true;
    }
    changed_.notify_all();
}

int BackgroundWriter::Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !busy_; });
    const int error = error_;
    error_ = 0;
    return error;
}

void BackgroundWriter::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return busy_ || stopping_; });
        if (!busy_) {
            return;
        }
        const uint8_t* data = data_;
        const uint64_t offset = offset_;
        const size_t size = size_;
        lock.unlock();
        const int error = WriteAndStartDisk(fd_, data, offset, size);
        lock.lock();
        error_ = error;
        busy_ = false;
        changed_.notify_all();
    }
}

namespace {

// Buffers this large are aligned to the size of a large page and marked for one:
// a single page fault then makes them ready instead of hundreds.
constexpr size_t kLargePage = size_t{2} << 20;

uint8_t* AllocateBuffers(size_t bytes) {
    const size_t align = bytes >= kLargePage / 2 ? kLargePage : alignof(std::max_align_t);
    const size_t rounded = (bytes + align - 1) / align * align;
    void* block = std::aligned_alloc(align, rounded);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
#ifdef MADV_HUGEPAGE
    if (align == kLargePage) {
        ::madvise(block, rounded, MADV_HUGEPAGE);
    }
#endif
    return static_cast<uint8_t*>(block);
}

}  // namespace

void FileWriteBuffer::Free::operator()(uint8_t* p) const {
    std::free(p);
}

FileWriteBuffer::FileWriteBuffer(int fd, uint64_t existingSize, size_t capacity)
    : fd_(fd),
      capacity_(std::max<size_t>(capacity, 1)),
      storage_(AllocateBuffers(2 * capacity_)),
      buffer_(storage_.get()),
      sending_(storage_.get() + capacity_),
      sender_(fd),
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
    const int err = sys::WriteAllAt(fd_, offset, data, size);
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
    while (done < size && offset + done < start_) {
        const size_t want =
            static_cast<size_t>(std::min<uint64_t>(size - done, start_ - offset - done));
        const ssize_t n = ::pread(fd_, out + done, want, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            Failed(errno);
            return -1;
        }
        if (n == 0) {
            return static_cast<int64_t>(done);
        }
        done += static_cast<size_t>(n);
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
// that fits in the buffer never needs the helper thread.
bool FileWriteBuffer::Flush() {
    if (!Settle()) {
        return false;
    }
    if (length_ > 0) {
        if (const int err = sys::WriteAllAt(fd_, start_, buffer_, length_); err != 0) {
            return Failed(err);
        }
        start_ += length_;
        length_ = 0;
        written_ = start_;
    }
    return true;
}

TiffOutputFile::TiffOutputFile(int fd, const std::string& name, bool bigTiff,
                               const TiffMessageLog& log, size_t bufferBytes)
    : buffer_(fd, 0, bufferBytes), client_(buffer_), name_(name), options_(log.Options()) {
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
