#include "engine/tiff_fixture.h"

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
std::vector<uint8_t> PlaneRow(const PageSpec& spec, uint32_t y, int sample) {
    if (sample < 0) {
        const size_t rowBytes = spec.RowBytes();
        return {spec.pixels.begin() + static_cast<std::ptrdiff_t>(y * rowBytes),
                spec.pixels.begin() + static_cast<std::ptrdiff_t>((y + 1) * rowBytes)};
    }
    std::vector<uint8_t> row((static_cast<size_t>(spec.width) * spec.bitsPerSample + 7) / 8, 0);
    for (uint32_t x = 0; x < spec.width; ++x) {
        const uint32_t v = SampleAt(spec.pixels, spec.RowBytes(), spec.bitsPerSample,
                                    spec.samplesPerPixel, x, y, static_cast<uint16_t>(sample));
        SetBits(row, static_cast<size_t>(x) * spec.bitsPerSample, spec.bitsPerSample, v);
    }
    return row;
}

void SetPageTags(TIFF* tif, const PageSpec& spec) {
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, spec.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, spec.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, spec.bitsPerSample);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spec.samplesPerPixel);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, spec.planarConfig);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, spec.compression);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, spec.photometric);
    if (spec.fillOrder != 1) {
        TIFFSetField(tif, TIFFTAG_FILLORDER, spec.fillOrder);
    }
    if (spec.orientation != 0) {
        TIFFSetField(tif, TIFFTAG_ORIENTATION, spec.orientation);
    }
    if (spec.sampleFormat != SAMPLEFORMAT_UINT) {
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, spec.sampleFormat);
    }
    if (spec.predictor != 0) {
        TIFFSetField(tif, TIFFTAG_PREDICTOR, spec.predictor);
    }
    if (spec.xResolution > 0 || spec.yResolution > 0) {
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(spec.xResolution));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(spec.yResolution));
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, spec.resolutionUnit);
    }
    if (spec.extraSamples > 0) {
        std::vector<uint16_t> kinds(spec.extraSamples, 0);
        kinds[0] = spec.extraSampleKind;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, spec.extraSamples, kinds.data());
    }
    if (!spec.colorMap.empty()) {
        const size_t n = spec.colorMap.size() / 3;
        TIFFSetField(tif, TIFFTAG_COLORMAP, spec.colorMap.data(), spec.colorMap.data() + n,
                     spec.colorMap.data() + 2 * n);
    }
    if (spec.compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, spec.jpegQuality);
        if (spec.photometric == PHOTOMETRIC_YCBCR) {
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
    }
    if (spec.ycbcrSubsampling != 0) {
        TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, spec.ycbcrSubsampling, spec.ycbcrSubsampling);
    }
    if (spec.compression == COMPRESSION_WEBP) {
        TIFFSetField(tif, TIFFTAG_WEBP_LOSSLESS, 1);
    }
    if (spec.tiled) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, spec.tileWidth);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, spec.tileHeight);
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP,
                     spec.rowsPerStrip ? spec.rowsPerStrip : TIFFDefaultStripSize(tif, 0));
    }
}

void WriteStrips(TIFF* tif, const PageSpec& spec, const std::string& message) {
    const bool separate = spec.planarConfig == PLANARCONFIG_SEPARATE;
    const int planes = separate ? spec.samplesPerPixel : 1;
    for (int plane = 0; plane < planes; ++plane) {
        for (uint32_t y = 0; y < spec.height; ++y) {
            auto row = PlaneRow(spec, y, separate ? plane : -1);
            Check(TIFFWriteScanline(tif, row.data(), y, static_cast<uint16_t>(plane)) == 1,
                  "cannot write a row", message);
        }
    }
}

void WriteTiles(TIFF* tif, const PageSpec& spec, const std::string& message) {
    const bool separate = spec.planarConfig == PLANARCONFIG_SEPARATE;
    const int planes = separate ? spec.samplesPerPixel : 1;
    const uint16_t pixelBits =
        static_cast<uint16_t>(spec.bitsPerSample * (separate ? 1 : spec.samplesPerPixel));
    const size_t tileRowBytes = static_cast<size_t>(TIFFTileRowSize64(tif));
    std::vector<uint8_t> tile(static_cast<size_t>(TIFFTileSize64(tif)));
    for (int plane = 0; plane < planes; ++plane) {
        for (uint32_t ty = 0; ty < spec.height; ty += spec.tileHeight) {
            for (uint32_t tx = 0; tx < spec.width; tx += spec.tileWidth) {
                std::fill(tile.begin(), tile.end(), 0);
                for (uint32_t y = ty; y < ty + spec.tileHeight && y < spec.height; ++y) {
                    const auto row = PlaneRow(spec, y, separate ? plane : -1);
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

size_t PageSpec::RowBytes() const {
    return (static_cast<size_t>(width) * samplesPerPixel * bitsPerSample + 7) / 8;
}

void WriteTiffFile(const std::string& path, const std::vector<PageSpec>& pages,
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
        for (const auto& spec : pages) {
            Check(spec.pixels.size() >= spec.RowBytes() * spec.height,
                  "page pixels too short for its size", "");
            SetPageTags(tif, spec);
            if (spec.tiled) {
                WriteTiles(tif, spec, message);
            } else {
                WriteStrips(tif, spec, message);
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

std::vector<uint8_t> PatternPixels(const PageSpec& spec, uint32_t seed) {
    const size_t rowBytes = spec.RowBytes();
    std::vector<uint8_t> pixels(rowBytes * spec.height, 0);
    const uint32_t max = MaxSample(spec.bitsPerSample);
    const bool smooth = spec.compression == COMPRESSION_JPEG;
    for (uint32_t y = 0; y < spec.height; ++y) {
        for (uint32_t x = 0; x < spec.width; ++x) {
            for (uint16_t c = 0; c < spec.samplesPerPixel; ++c) {
                uint32_t v;
                if (spec.bitsPerSample == 1) {
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
                    (static_cast<size_t>(x) * spec.samplesPerPixel + c) * spec.bitsPerSample;
                SetBits(pixels, bit, spec.bitsPerSample, v);
            }
        }
    }
    return pixels;
}

namespace {

PageSpec PatternPage(uint32_t width, uint32_t height, uint16_t bits, uint16_t samples,
                     uint16_t photometric, uint16_t compression,
                     std::vector<uint16_t> colorMap = {}) {
    PageSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bitsPerSample = bits;
    spec.samplesPerPixel = samples;
    spec.photometric = photometric;
    spec.compression = compression;
    spec.colorMap = std::move(colorMap);
    spec.pixels = PatternPixels(spec);
    return spec;
}

}  // namespace

PageSpec BilevelPage(uint32_t width, uint32_t height, uint16_t compression, uint16_t photometric) {
    return PatternPage(width, height, 1, 1, photometric, compression);
}

PageSpec GrayPage(uint32_t width, uint32_t height, uint16_t bits, uint16_t compression) {
    return PatternPage(width, height, bits, 1, PHOTOMETRIC_MINISBLACK, compression);
}

PageSpec RgbPage(uint32_t width, uint32_t height, uint16_t bits, uint16_t compression) {
    return PatternPage(width, height, bits, 3, PHOTOMETRIC_RGB, compression);
}

PageSpec PalettePage(uint32_t width, uint32_t height, uint16_t bits, uint16_t compression) {
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

uint32_t SampleAt(const std::vector<uint8_t>& pixels, size_t rowBytes, uint16_t bits,
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

}  // namespace folio::engine::testing
