#include "engine/background_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace folio::engine {

int WriteFully(int fd, uint64_t offset, const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0 ? EIO : errno;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

BackgroundWriter::BackgroundWriter(int fd) : fd_(fd), thread_([this] { Run(); }) {}

BackgroundWriter::~BackgroundWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BackgroundWriter::Start(const uint8_t* data, uint64_t offset, size_t size) {
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
        const int error = WriteFully(fd_, offset, data, size);
#ifdef __linux__
        if (error == 0) {
            ::sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(size),
                              SYNC_FILE_RANGE_WRITE);
        }
#endif
        lock.lock();
        error_ = error;
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace folio::engine
