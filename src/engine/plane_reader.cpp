#include "engine/plane_reader.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/engine_limits.h"

namespace folio::engine {
namespace {

bool ReadStrips(TIFF* tif, uint16_t plane, uint32_t height, size_t rowBytes, uint8_t* out) {
    uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    if (rowsPerStrip == 0 || rowsPerStrip > height) {
        rowsPerStrip = height;
    }
    for (uint32_t y = 0; y < height; y += rowsPerStrip) {
        const uint32_t rows = std::min(rowsPerStrip, height - y);
        const uint32_t strip = TIFFComputeStrip(tif, y, plane);
        if (TIFFReadEncodedStrip(tif, strip, out + y * rowBytes,
                                 static_cast<tmsize_t>(rows * rowBytes)) < 0) {
            return false;
        }
    }
    return true;
}

bool ReadTiles(TIFF* tif, uint16_t plane, uint32_t height, size_t rowBytes, uint16_t pixelBits,
               uint8_t* out) {
    uint32_t tileWidth = 0;
    uint32_t tileHeight = 0;
    uint32_t width = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight);
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    const uint64_t tileBytes = TIFFTileSize64(tif);
    const uint64_t tileRowBytes = TIFFTileRowSize64(tif);
    // A tile far larger than the page is a broken or hostile file.
    const uint64_t pageBytes = static_cast<uint64_t>(height) * rowBytes;
    if (tileWidth == 0 || tileHeight == 0 || tileBytes == 0 || tileRowBytes == 0 ||
        tileBytes > std::min<uint64_t>(kMaxDecodedPageBytes, 4 * pageBytes + (16u << 20))) {
        TIFFErrorExtR(tif, "ReadTiles", "implausible tile size %ux%u", tileWidth, tileHeight);
        return false;
    }
    std::vector<uint8_t> tile(static_cast<size_t>(tileBytes));
    for (uint32_t ty = 0; ty < height; ty += tileHeight) {
        for (uint32_t tx = 0; tx < width; tx += tileWidth) {
            const uint32_t index = TIFFComputeTile(tif, tx, ty, 0, plane);
            if (TIFFReadEncodedTile(tif, index, tile.data(), static_cast<tmsize_t>(tileBytes)) <
                0) {
                return false;
            }
            const size_t from = static_cast<size_t>(tx) * pixelBits / 8;
            const size_t count = std::min<size_t>(tileRowBytes, rowBytes - from);
            const uint32_t rows = std::min(tileHeight, height - ty);
            for (uint32_t r = 0; r < rows; ++r) {
                std::memcpy(out + (ty + r) * rowBytes + from, tile.data() + r * tileRowBytes,
                            count);
            }
        }
    }
    return true;
}

}  // namespace

bool TilesAreByteAligned(TIFF* tif, uint16_t pixelBits) {
    uint32_t tileWidth = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    return (static_cast<uint64_t>(tileWidth) * pixelBits) % 8 == 0;
}

bool ReadPlane(TIFF* tif, uint16_t plane, uint32_t height, size_t rowBytes, uint16_t pixelBits,
               uint8_t* out) {
    if (TIFFIsTiled(tif)) {
        return ReadTiles(tif, plane, height, rowBytes, pixelBits, out);
    }
    return ReadStrips(tif, plane, height, rowBytes, out);
}

}  // namespace folio::engine
