#include "engine/data_size_check.h"

#include <tiffio.h>

namespace folio::engine {

double LeastStoredBytes(const PageInfo& info, uint32_t storedHeight, double decodedBytes) {
    switch (info.compression) {
        case COMPRESSION_NONE:
            return decodedBytes / 2;
        case COMPRESSION_PACKBITS:
            return decodedBytes / 130;  // a run of 128 bytes takes 2
        case COMPRESSION_CCITTRLE:
        case COMPRESSION_CCITTRLEW:
        case COMPRESSION_CCITTFAX3:
        case COMPRESSION_CCITTFAX4:
            return storedHeight / 8.0;  // every row takes at least one bit
        case COMPRESSION_LZW:
            return decodedBytes / 8192;  // above the largest ratio 12-bit codes reach
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
            return decodedBytes / 2048;  // deflate tops out near 1032:1
        case COMPRESSION_JPEG:
            return decodedBytes / 4096;
        default:
            return 0;  // no bound we trust (JBIG, LZMA, Zstandard, ...)
    }
}

uint64_t StoredBytes(TIFF* tif) {
    const bool tiled = TIFFIsTiled(tif) != 0;
    const uint32_t count = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    uint64_t* counts = nullptr;
    if (TIFFGetField(tif, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts) != 1 ||
        counts == nullptr) {
        return 0;
    }
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        total += counts[i];
    }
    return total;
}

}  // namespace folio::engine
