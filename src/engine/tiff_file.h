#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/container_format.h"

typedef struct tiff TIFF;

namespace folio::engine {

// One TIFF or .mdi file opened for reading with libtiff. libtiff's errors and
// warnings for this file are collected here (its per-file handlers), never printed
// and never routed through the process-wide handlers. An .mdi header is shown to
// libtiff as the little-endian TIFF header it stands for.
class TiffFile {
  public:
    // Opens `path` (UTF-8); messages name the file as `name`. Raises folio::Error
    // for a missing file, a folder, no permission, an empty or foreign file, or a
    // header libtiff cannot read.
    static std::unique_ptr<TiffFile> Open(const std::string& path, const std::string& name);
    // The same on bytes held in memory.
    static std::unique_ptr<TiffFile> OpenBytes(std::vector<uint8_t> bytes, const std::string& name);

    ~TiffFile();
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;

    TIFF* Handle() const { return tif_; }
    ContainerFormat Format() const;
    const std::string& Name() const;
    uint64_t Size() const;

    // Reads up to `count` raw bytes at `offset` (as libtiff sees them); returns
    // how many were read, or -1.
    int64_t ReadAt(uint64_t offset, uint8_t* out, uint64_t count) const;
    // Where the "next page" pointer of the directory at `offset` leads, read
    // straight from the file; 0 at the last page or when it cannot be read.
    uint64_t NextDirectoryOffset(uint64_t offset) const;

    // libtiff's first error for this file since the last call ("" if none), and
    // forgets it.
    std::string TakeError();

    struct Source;

  private:
    explicit TiffFile(std::unique_ptr<Source> source);
    void OpenTiff();

    std::unique_ptr<Source> source_;
    TIFF* tif_ = nullptr;
};

}  // namespace folio::engine
