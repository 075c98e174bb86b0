#pragma once

// Writing output files: positioned writes gathered in memory and sent on the
// executor's workers, and libtiff writing a TIFF through them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/tiff/tiff_io.h"
#include "engine/work/executor.h"
#include "sys/files.h"

namespace folio::engine {

// One positioned write at a time to a file, made on one of the executor's workers
// so that the caller prepares the next meanwhile (or by the caller as it waits,
// when none was free). Each write also has the disk start on it, so that a final
// flush has little left to wait for.
class BackgroundWriter {
  public:
    explicit BackgroundWriter(sys::FileHandle file) : file_(file) {}
    // Waits for the write under way.
    ~BackgroundWriter();
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    // Starts writing; `data` must stay untouched until Wait() returns. Call Wait()
    // first when a write may be under way.
    void Start(const uint8_t* data, uint64_t offset, size_t size);
    // Waits for the write under way, if any; errno of its failure, or 0.
    int Wait();

  private:
    sys::FileHandle file_;
    int error_ = 0;    // set by the write, read once it is waited for
    TaskGroup write_;  // last: its task uses the members above
};

// Positioned writes and reads on a file, gathered in memory so that
// the file receives a few large writes instead of many small ones, each made in
// the background while the next is gathered. The buffer always holds the file's
// tail: writes there (including a little past the end, with the gap read as zeros
// as in a sparse file) are gathered; writes before it, such as a directory offset
// patched in an earlier page, go straight to the file once the write under way
// is done. Reads see the latest data wherever it is.
class FileWriteBuffer {
  public:
    // `file` stays owned by the caller; it holds `existingSize` bytes.
    FileWriteBuffer(sys::FileHandle file, uint64_t existingSize, size_t capacity);
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
    // Hands the gathered bytes to the background writer (after the previous ones),
    // all of them or those before the held ones.
    bool Send(bool all);
    // Waits for the background write; false when it failed.
    bool Settle();
    bool Failed(int err);
    bool InBuffers(const uint8_t* data) const;

    sys::FileHandle file_;
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

// A TIFF being written to an open file through a FileWriteBuffer, so
// that pages reach the file in a few large writes. libtiff's messages go to `log`.
class TiffOutputFile {
  public:
    // Bytes gathered before they are written out.
    static constexpr size_t kDefaultBuffer = size_t{1} << 20;

    // `file` (an empty file) stays owned by the caller and must outlive this object;
    // libtiff's messages name it `name`. Handle() is null when libtiff cannot start
    // the file (the reason is in `log`).
    TiffOutputFile(sys::FileHandle file, const std::string& name, bool bigTiff,
                   const TiffMessageLog& log, size_t bufferBytes = kDefaultBuffer);
    ~TiffOutputFile();
    TiffOutputFile(const TiffOutputFile&) = delete;
    TiffOutputFile& operator=(const TiffOutputFile&) = delete;

    TIFF* Handle() const { return tif_; }
    // Writes what libtiff still holds and everything gathered to the file, and
    // closes the TIFF (Handle() is null after). False on failure, with errno set.
    bool Finish();

    // To be called after each page: the last page's directory stays gathered, as
    // libtiff links it to the next page's.
    void PageWritten();

    // After Finish(): the file opened again to change what was written (closed by
    // Finish() once more), or null when libtiff cannot read it back.
    TIFF* Reopen();

    // Room to place the next `size` bytes libtiff will append (see
    // FileWriteBuffer::Reserve), or null.
    uint8_t* Reserve(size_t size) { return buffer_.Reserve(size); }

    // errno of the first failed write to the file, 0 if none.
    int Error() const { return buffer_.Error(); }

    // What libtiff's client callbacks work on.
    struct Client : TiffStorage {
        explicit Client(FileWriteBuffer& b) : buffer(b) {}
        int64_t ReadAt(uint64_t offset, uint8_t* out, uint64_t count) override {
            return buffer.Read(offset, out, static_cast<size_t>(count));
        }
        bool WriteAt(uint64_t offset, const uint8_t* data, uint64_t size) override {
            return buffer.Write(offset, data, static_cast<size_t>(size));
        }
        uint64_t Size() const override { return buffer.Size(); }

        FileWriteBuffer& buffer;
    };

  private:
    FileWriteBuffer buffer_;
    Client client_;
    const std::string name_;
    TIFFOpenOptions* const options_;
    uint64_t lastPageEnd_ = 0;
    TIFF* tif_ = nullptr;
};

}  // namespace folio::engine
