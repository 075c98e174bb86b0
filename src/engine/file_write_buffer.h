#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/background_writer.h"

namespace folio::engine {

// Positioned writes and reads on a file descriptor, gathered in memory so that
// the file receives a few large writes instead of many small ones, each made on
// a helper thread while the next is gathered. The buffer always holds the file's
// tail: writes there (including a little past the end, with the gap read as zeros
// as in a sparse file) are gathered; writes before it, such as a directory offset
// patched in an earlier page, go straight to the file once the write under way
// is done. Reads see the latest data wherever it is.
class FileWriteBuffer {
  public:
    // `fd` stays owned by the caller; the file holds `existingSize` bytes.
    FileWriteBuffer(int fd, uint64_t existingSize, size_t capacity);
    // Waits for the write under way; what is still gathered is dropped.
    ~FileWriteBuffer() = default;
    FileWriteBuffer(const FileWriteBuffer&) = delete;
    FileWriteBuffer& operator=(const FileWriteBuffer&) = delete;

    // False on a failed write (possibly an earlier one, made in the background);
    // errno and Error() tell why.
    bool Write(uint64_t offset, const uint8_t* data, size_t size);
    // Room for the next `size` bytes to be appended: data placed there and then
    // written at Size() is gathered without being copied. Null when it does not
    // fit (or on a failed write).
    uint8_t* Reserve(size_t size);
    // Bytes read (fewer past the end), or -1.
    int64_t Read(uint64_t offset, uint8_t* out, size_t size);
    // Writes everything gathered to the file and waits for it.
    bool Flush();
    // A hint: bytes from `offset` on may well be written again soon (libtiff links
    // each page's directory to the next), so they stay gathered when the bytes
    // before them are handed to the file, sparing a wait for that write.
    void HoldFrom(uint64_t offset) { holdFrom_ = offset; }

    // The file's size, counting what is still gathered.
    uint64_t Size() const { return start_ + length_; }
    // Bytes before this offset are known to be in the file itself.
    uint64_t WrittenEnd() const { return written_; }
    // errno of the first failed write or read, 0 if none.
    int Error() const { return error_; }

  private:
    bool WriteThrough(uint64_t offset, const uint8_t* data, size_t size);
    // Hands the gathered bytes to the helper thread (after the previous ones),
    // all of them or those before the held ones.
    bool Send(bool all);
    // Waits for the helper thread; false when its write failed.
    bool Settle();
    bool Failed(int err);
    bool InBuffers(const uint8_t* data) const;

    int fd_;
    size_t capacity_;
    struct Free {
        void operator()(uint8_t* p) const;
    };
    // Both buffers in one block, so that the system can back it with large pages.
    std::unique_ptr<uint8_t, Free> storage_;
    uint8_t* buffer_;
    uint8_t* sending_;
    BackgroundWriter sender_;
    uint64_t start_;  // file offset of buffer_[0]
    size_t length_ = 0;
    uint64_t written_ = 0;
    uint64_t holdFrom_ = 0;
    int error_ = 0;
};

}  // namespace folio::engine
