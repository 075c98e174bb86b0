#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace folio::engine::testing {

// One page to write with libtiff. Pixels are given chunky (samples interleaved),
// rows top to bottom, `RowBytes()` bytes per row, bits packed most significant
// first, 16-bit samples in the machine's byte order: the layout the engine's
// Raster uses, so a decoded page can be compared with `pixels` directly.
struct TestPage {
    uint32_t width = 32;
    uint32_t height = 24;
    uint16_t bitsPerSample = 8;
    uint16_t samplesPerPixel = 1;
    uint16_t photometric = 1;  // PHOTOMETRIC_MINISBLACK
    uint16_t compression = 1;  // COMPRESSION_NONE
    uint16_t planarConfig = 1;
    uint16_t fillOrder = 1;
    uint32_t group3Options = 0;  // for CCITT G3 pages
    uint16_t orientation = 0;    // 0: no Orientation tag
    uint16_t predictor = 0;      // 0: no Predictor tag
    uint16_t sampleFormat = 1;   // SAMPLEFORMAT_UINT; others are written as a tag
    uint32_t rowsPerStrip = 0;   // 0: libtiff's default
    bool tiled = false;
    uint32_t tileWidth = 16;
    uint32_t tileHeight = 16;
    // Resolution tags; not written when both are 0.
    double xResolution = 0.0;
    double yResolution = 0.0;
    uint16_t resolutionUnit = 2;  // RESUNIT_INCH
    // Trailing extra samples (counted in samplesPerPixel) and their kind
    // (EXTRASAMPLE_ASSOCALPHA 1, EXTRASAMPLE_UNASSALPHA 2).
    uint16_t extraSamples = 0;
    uint16_t extraSampleKind = 2;
    std::vector<uint16_t> colorMap;  // red, green, blue tables for palette pages
    int jpegQuality = 90;
    // YCbCr subsampling written for YCbCr pages not compressed with JPEG (0: none).
    uint16_t ycbcrSubsampling = 0;
    std::vector<uint8_t> pixels;

    size_t RowBytes() const;
};

struct FileOptions {
    bool bigEndian = false;
    bool bigTiff = false;
    // Rewrites the first two bytes to "EP", as the .mdi container has them.
    bool mdiHeader = false;
};

// Writes a (multi-page) file; throws std::runtime_error with libtiff's message on
// failure.
void WriteTiffFile(const std::string& path, const std::vector<TestPage>& pages,
                   const FileOptions& options = {});

// Deterministic, non-trivial pixel content for a page of the layout's geometry.
std::vector<uint8_t> PatternPixels(const TestPage& layout, uint32_t seed = 1);

// Ready-made pages with pattern content.
TestPage BilevelPage(uint32_t width, uint32_t height, uint16_t compression,
                     uint16_t photometric = 0 /* MinIsWhite */);
TestPage GrayPage(uint32_t width, uint32_t height, uint16_t bits, uint16_t compression = 1);
TestPage RgbPage(uint32_t width, uint32_t height, uint16_t bits, uint16_t compression = 1);
TestPage PalettePage(uint32_t width, uint32_t height, uint16_t bits, uint16_t compression = 1);

// The layout with resolution tags of x by y (in its resolution unit).
TestPage WithResolution(TestPage layout, double x, double y);

// The sample at (x, y, channel) of chunky pixels laid out as in TestPage.
uint32_t SampleAt(std::span<const uint8_t> pixels, size_t rowBytes, uint16_t bits,
                  uint16_t samplesPerPixel, uint32_t x, uint32_t y, uint16_t channel);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace folio::engine::testing
