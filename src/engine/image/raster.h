#pragma once

// Pixels as the engine holds them: a decoded page in its own depth (Raster) and
// pixels ready to show or print (RenderedImage), and the quarter turns applied to them.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sys/memory.h"

namespace folio::engine {

// Pixel bytes; large buffers may be backed by huge pages.
using PixelBytes = std::vector<uint8_t, sys::BufferAllocator<uint8_t>>;

// A decoded page in its own depth, never widened just to be held: a bilevel page
// stays one bit per pixel, gray stays at its bit depth, a palette page keeps its
// indexes and colour map. Rows run top to bottom (the Orientation tag already
// applied), samples are interleaved (chunky), bits are packed most significant
// first, and 16-bit samples are in the machine's byte order.
struct Raster {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bitsPerSample = 1;    // 1, 2, 4, 8 or 16
    uint16_t samplesPerPixel = 1;  // colour samples plus extra (alpha) samples
    // TIFF photometric of the samples as held: 0 MinIsWhite, 1 MinIsBlack, 2 RGB,
    // 3 Palette, 5 Separated (CMYK). Other models are converted to RGB on decode.
    uint16_t photometric = 1;
    uint16_t extraSamples = 0;     // trailing samples that are not colour
    bool associatedAlpha = false;  // when extraSamples > 0: premultiplied or not
    // Whether the first extra sample is alpha (not some other, unspecified sample).
    bool hasAlpha = false;
    // For photometric 3: red, green, blue tables of 2^bitsPerSample entries each,
    // 16-bit as TIFF stores them.
    std::vector<uint16_t> colorMap;
    size_t stride = 0;  // bytes per row
    PixelBytes data;

    size_t ByteSize() const { return data.size() + colorMap.size() * sizeof(uint16_t); }
};

// Bytes of a row of `width` pixels of `pixelBits` bits each, packed most significant
// bit first with no padding but to the next byte.
constexpr size_t RowBytes(uint32_t width, size_t pixelBits) {
    return (size_t{width} * pixelBits + 7) / 8;
}

// Pixels ready for the screen, a PNG file or a printer: 8-bit gray, or 32-bit
// 0xAARRGGBB words (QImage::Format_ARGB32 layout; alpha is 255 except where the
// page itself is transparent).
struct RenderedImage {
    enum class Format { Gray8, Argb32 };

    Format format = Format::Gray8;
    int width = 0;
    int height = 0;
    size_t stride = 0;  // bytes per row
    PixelBytes pixels;
};

// A raster with `source`'s geometry, depth and colour model but no pixels.
inline Raster RasterHeader(const Raster& source) {
    Raster header;
    header.width = source.width;
    header.height = source.height;
    header.bitsPerSample = source.bitsPerSample;
    header.samplesPerPixel = source.samplesPerPixel;
    header.photometric = source.photometric;
    header.extraSamples = source.extraSamples;
    header.associatedAlpha = source.associatedAlpha;
    header.hasAlpha = source.hasAlpha;
    header.colorMap = source.colorMap;
    header.stride = source.stride;
    return header;
}

// Any number of clockwise quarter turns as 0 to 3 (negative turns counter-clockwise).
constexpr int NormalQuarterTurns(int quarterTurns) {
    return ((quarterTurns % 4) + 4) % 4;
}

// Size of a page as shown, in device pixels, after its turn.
struct DisplaySize {
    double width = 0.0;
    double height = 0.0;
};

// A rectangle of a page as shown (after its turn, at a zoom), in device pixels.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

}  // namespace folio::engine
