#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace folio::engine {

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
    std::vector<uint8_t> data;

    size_t ByteSize() const { return data.size() + colorMap.size() * sizeof(uint16_t); }
};

}  // namespace folio::engine
