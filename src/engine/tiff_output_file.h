#pragma once

#include <tiffio.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/file_write_buffer.h"
#include "engine/tiff_message_log.h"

namespace folio::engine {

// A TIFF being written to an open file descriptor through a FileWriteBuffer, so
// that pages reach the file in a few large writes. libtiff's messages go to `log`.
class TiffOutputFile {
  public:
    // Bytes gathered before they are written out.
    static constexpr size_t kDefaultBuffer = size_t{1} << 20;

    // `fd` (an empty file) stays owned by the caller and must outlive this object;
    // libtiff's messages name it `name`. Handle() is null when libtiff cannot start
    // the file (the reason is in `log`).
    TiffOutputFile(int fd, const std::string& name, bool bigTiff, const TiffMessageLog& log,
                   size_t bufferBytes = kDefaultBuffer);
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

    // Room to place the next `size` bytes libtiff will append (see
    // FileWriteBuffer::Reserve), or null.
    uint8_t* Reserve(size_t size) { return buffer_.Reserve(size); }

    // errno of the first failed write to the file, 0 if none.
    int Error() const { return buffer_.Error(); }

    // What libtiff's client callbacks work on.
    struct Client {
        FileWriteBuffer& buffer;
        uint64_t position = 0;
    };

  private:
    FileWriteBuffer buffer_;
    Client client_;
    uint64_t lastPageEnd_ = 0;
    TIFF* tif_ = nullptr;
};

}  // namespace folio::engine
