#include "support/tiff_fixture.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace folio::engine::testing {
namespace {

int CollectMessage(TIFF*, void* userData, const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    auto* sink = static_cast<std::string*>(userData);
    *sink = std::string(module ? module : "") + ": " + text;
    return 1;
}

int IgnoreMessage(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

void SetBits(std::vector<uint8_t>& data, size_t bitOffset, uint16_t bits, uint32_t value) {
    if (bits == 16) {
        uint16_t v = static_cast<uint16_t>(value);
        std::memcpy(&data[bitOffset / 8], &v, 2);
        return;
    }
    for (int b = bits - 1; b >= 0; --b, ++bitOffset) {
        const uint8_t mask = static_cast<uint8_t>(0x80u >> (bitOffset % 8));
        if ((value >> b) & 1u) {
            data[bitOffset / 8] |= mask;
        } else {
            data[bitOffset / 8] &= static_cast<uint8_t>(~mask);
        }
    }
}

uint32_t MaxSample(uint16_t bits) {
    return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
}

void Check(bool ok, const std::string& what, const std::string& message) {
    if (!ok) {
        throw std::runtime_error(what + (message.empty() ? "" : " (" + message + ")"));
    }
}

// One plane (or all samples, when chunky) of rows [0, height) in the file's layout.
std::vector<uint8_t> PlaneRow(const TestPage& layout, uint32_t y, int sample) {
    if (sample < 0) {
        const size_t rowBytes = layout.RowBytes();
        return {layout.pixels.begin() + static_cast<std::ptrdiff_t>(y * rowBytes),
                layout.pixels.begin() + static_cast<std::ptrdiff_t>((y + 1) * rowBytes)};
    }
    std::vector<uint8_t> row((static_cast<size_t>(layout.width) * layout.bitsPerSample + 7) / 8, 0);
    for (uint32_t x = 0; x < layout.width; ++x) {
        const uint32_t v = SampleAt(layout.pixels, layout.RowBytes(), layout.bitsPerSample,
                                    layout.samplesPerPixel, x, y, static_cast<uint16_t>(sample));
        SetBits(row, static_cast<size_t>(x) * layout.bitsPerSample, layout.bitsPerSample, v);
    }
    return row;
}

void SetPageTags(TIFF* tif, const TestPage& layout) {
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, layout.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, layout.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, layout.bitsPerSample);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, layout.samplesPerPixel);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, layout.planarConfig);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, layout.compression);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, layout.photometric);
    if (layout.compression == COMPRESSION_CCITTFAX3) {
        TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, layout.group3Options);
    }
    if (layout.fillOrder != 1) {
        TIFFSetField(tif, TIFFTAG_FILLORDER, layout.fillOrder);
    }
    if (layout.orientation != 0) {
        TIFFSetField(tif, TIFFTAG_ORIENTATION, layout.orientation);
    }
    if (layout.sampleFormat != SAMPLEFORMAT_UINT) {
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, layout.sampleFormat);
    }
    if (layout.predictor != 0) {
        TIFFSetField(tif, TIFFTAG_PREDICTOR, layout.predictor);
    }
    if (layout.xResolution > 0 || layout.yResolution > 0) {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(layout.xResolution));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(layout.yResolution));
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, layout.resolutionUnit);
    }
    if (layout.extraSamples > 0) {
        std::vector<uint16_t> kinds(layout.extraSamples, 0);
        kinds[0] = layout.extraSampleKind;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, layout.extraSamples, kinds.data());
    }
    if (!layout.colorMap.empty()) {
        const size_t n = layout.colorMap.size() / 3;
        TIFFSetField(tif, TIFFTAG_COLORMAP, layout.colorMap.data(), layout.colorMap.data() + n,
                     layout.colorMap.data() + 2 * n);
    }
    if (layout.compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, layout.jpegQuality);
        if (layout.photometric == PHOTOMETRIC_YCBCR) {
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
    }
    if (layout.ycbcrSubsampling != 0) {
        TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, layout.ycbcrSubsampling,
                     layout.ycbcrSubsampling);
    }
    if (layout.compression == COMPRESSION_WEBP) {
        TIFFSetField(tif, TIFFTAG_WEBP_LOSSLESS, 1);
    }
    if (layout.tiled) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, layout.tileWidth);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, layout.tileHeight);
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP,
                     layout.rowsPerStrip ? layout.rowsPerStrip : TIFFDefaultStripSize(tif, 0));
    }
}

void WriteStrips(TIFF* tif, const TestPage& layout, const std::string& message) {
    const bool separate = layout.planarConfig == PLANARCONFIG_SEPARATE;
    const int planes = separate ? layout.samplesPerPixel : 1;
    for (int plane = 0; plane < planes; ++plane) {
        for (uint32_t y = 0; y < layout.height; ++y) {
            auto row = PlaneRow(layout, y, separate ? plane : -1);
            Check(TIFFWriteScanline(tif, row.data(), y, static_cast<uint16_t>(plane)) == 1,
                  "cannot write a row", message);
        }
    }
}

void WriteTiles(TIFF* tif, const TestPage& layout, const std::string& message) {
    const bool separate = layout.planarConfig == PLANARCONFIG_SEPARATE;
    const int planes = separate ? layout.samplesPerPixel : 1;
    const uint16_t pixelBits =
        static_cast<uint16_t>(layout.bitsPerSample * (separate ? 1 : layout.samplesPerPixel));
    const size_t tileRowBytes = static_cast<size_t>(TIFFTileRowSize64(tif));
    std::vector<uint8_t> tile(static_cast<size_t>(TIFFTileSize64(tif)));
    for (int plane = 0; plane < planes; ++plane) {
        for (uint32_t ty = 0; ty < layout.height; ty += layout.tileHeight) {
            for (uint32_t tx = 0; tx < layout.width; tx += layout.tileWidth) {
                std::fill(tile.begin(), tile.end(), 0);
                for (uint32_t y = ty; y < ty + layout.tileHeight && y < layout.height; ++y) {
                    const auto row = PlaneRow(layout, y, separate ? plane : -1);
                    const size_t from = static_cast<size_t>(tx) * pixelBits / 8;
                    const size_t count = std::min(tileRowBytes, row.size() - from);
                    std::memcpy(&tile[(y - ty) * tileRowBytes], &row[from], count);
                }
                Check(TIFFWriteTile(tif, tile.data(), tx, ty, 0, static_cast<uint16_t>(plane)) >= 0,
                      "cannot write a tile", message);
            }
        }
    }
}

}  // namespace

size_t TestPage::RowBytes() const {
    return (static_cast<size_t>(width) * samplesPerPixel * bitsPerSample + 7) / 8;
}

void WriteTiffFile(const std::string& path, const std::vector<TestPage>& pages,
                   const FileOptions& options) {
    std::string message;
    TIFFOpenOptions* openOptions = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(openOptions, CollectMessage, &message);
    TIFFOpenOptionsSetWarningHandlerExtR(openOptions, IgnoreMessage, nullptr);
    std::string mode = options.bigEndian ? "wb" : "wl";
    if (options.bigTiff) {
        mode += "8";
    }
    TIFF* tif = TIFFOpenExt(path.c_str(), mode.c_str(), openOptions);
    TIFFOpenOptionsFree(openOptions);
    Check(tif != nullptr, "cannot create " + path, message);
    try {
        for (const auto& layout : pages) {
            Check(layout.pixels.size() >= layout.RowBytes() * layout.height,
                  "page pixels too short for its size", "");
            SetPageTags(tif, layout);
            if (layout.tiled) {
                WriteTiles(tif, layout, message);
            } else {
                WriteStrips(tif, layout, message);
            }
            Check(TIFFWriteDirectory(tif) == 1, "cannot write a page", message);
        }
    } catch (...) {
        TIFFClose(tif);
        throw;
    }
    TIFFClose(tif);
    if (options.mdiHeader) {
        auto bytes = ReadFileBytes(path);
        Check(bytes.size() > 2 && bytes[0] == 'I', "an .mdi file must be little-endian", "");
        bytes[0] = 'E';
        bytes[1] = 'P';
        WriteFileBytes(path, bytes);
    }
}

std::vector<uint8_t> PatternPixels(const TestPage& layout, uint32_t seed) {
    const size_t rowBytes = layout.RowBytes();
    std::vector<uint8_t> pixels(rowBytes * layout.height, 0);
    const uint32_t max = MaxSample(layout.bitsPerSample);
    const bool smooth = layout.compression == COMPRESSION_JPEG;
    for (uint32_t y = 0; y < layout.height; ++y) {
        for (uint32_t x = 0; x < layout.width; ++x) {
            for (uint16_t c = 0; c < layout.samplesPerPixel; ++c) {
                uint32_t v;
                if (layout.bitsPerSample == 1) {
                    // Text-like strokes: runs of black and white of varying length.
                    v = ((x / (3 + seed % 4) + y / 5 + (x * y) % 7 + seed) % 4 == 0) ? 1u : 0u;
                } else if (smooth) {
                    // A triangle wave: smooth everywhere, as lossy codecs like.
                    const uint32_t t = (x * 4 + y * 2 + c * 60 + seed * 10) % 510;
                    v = (t < 256 ? t : 510 - t) * max / 255;
                } else {
                    const uint32_t h = (x * 2654435761u) ^ (y * 40503u) ^ (c * 9973u) ^ seed;
                    v = (h ^ (h >> 13)) & max;
                }
                const size_t bit =
                    y * rowBytes * 8 +
                    (static_cast<size_t>(x) * layout.samplesPerPixel + c) * layout.bitsPerSample;
                SetBits(pixels, bit, layout.bitsPerSample, v);
            }
        }
    }
    return pixels;
}

namespace {

TestPage PatternPage(uint32_t width, uint32_t height, uint16_t bits, uint16_t samples,
                     uint16_t photometric, uint16_t compression,
                     std::vector<uint16_t> colorMap = {}) {
    TestPage layout;
    layout.width = width;
    layout.height = height;
    layout.bitsPerSample = bits;
    layout.samplesPerPixel = samples;
    layout.photometric = photometric;
    layout.compression = compression;
    layout.colorMap = std::move(colorMap);
    layout.pixels = PatternPixels(layout);
    return layout;
}

}  // namespace

TestPage BilevelPage(uint32_t width, uint32_t height, uint16_t compression, uint16_t photometric) {
    return PatternPage(width, height, 1, 1, photometric, compression);
}

TestPage GrayPage(uint32_t width, uint32_t height, uint16_t bits, uint16_t compression) {
    return PatternPage(width, height, bits, 1, PHOTOMETRIC_MINISBLACK, compression);
}

TestPage RgbPage(uint32_t width, uint32_t height, uint16_t bits, uint16_t compression) {
    return PatternPage(width, height, bits, 3, PHOTOMETRIC_RGB, compression);
}

TestPage PalettePage(uint32_t width, uint32_t height, uint16_t bits, uint16_t compression) {
    const size_t n = size_t{1} << bits;
    std::vector<uint16_t> colorMap(3 * n);
    for (size_t i = 0; i < n; ++i) {
        colorMap[i] = static_cast<uint16_t>((i * 37 % n) * 65535 / (n - 1));
        colorMap[n + i] = static_cast<uint16_t>((n - 1 - i) * 65535 / (n - 1));
        colorMap[2 * n + i] = static_cast<uint16_t>((i * 11 % n) * 65535 / (n - 1));
    }
    return PatternPage(width, height, bits, 1, PHOTOMETRIC_PALETTE, compression,
                       std::move(colorMap));
}

uint32_t SampleAt(std::span<const uint8_t> pixels, size_t rowBytes, uint16_t bits,
                  uint16_t samplesPerPixel, uint32_t x, uint32_t y, uint16_t channel) {
    const size_t bit =
        y * rowBytes * 8 + (static_cast<size_t>(x) * samplesPerPixel + channel) * bits;
    if (bits == 16) {
        uint16_t v;
        std::memcpy(&v, &pixels[bit / 8], 2);
        return v;
    }
    uint32_t v = 0;
    for (size_t b = bit; b < bit + bits; ++b) {
        v = (v << 1) | ((pixels[b / 8] >> (7 - b % 8)) & 1u);
    }
    return v;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Check(static_cast<bool>(in), "cannot read " + path, "");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    Check(static_cast<bool>(out), "cannot write " + path, "");
}

TestPage WithResolution(TestPage layout, double x, double y) {
    layout.xResolution = x;
    layout.yResolution = y;
    return layout;
}

}  // namespace folio::engine::testing
