#include "support/tiff_readback.h"

#include <tiffio.h>

#include <cstdio>
#include <stdexcept>

#include "support/tiff_fixture.h"

namespace folio::engine::testing {
namespace {

template <typename T>
T Field(TIFF* tif, uint32_t tag) {
    T value{};
    TIFFGetFieldDefaulted(tif, tag, &value);
    return value;
}

void ReadPixels(TIFF* tif, ReadBackPage& page) {
    if (page.tiled || Field<uint16_t>(tif, TIFFTAG_PLANARCONFIG) != PLANARCONFIG_CONTIG) {
        return;
    }
    Raster& r = page.pixels;
    r.width = Field<uint32_t>(tif, TIFFTAG_IMAGEWIDTH);
    r.height = Field<uint32_t>(tif, TIFFTAG_IMAGELENGTH);
    r.bitsPerSample = Field<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE);
    r.samplesPerPixel = Field<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &r.photometric);
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) == 1 && extraCount > 0) {
        r.extraSamples = extraCount;
        r.associatedAlpha = extra[0] == EXTRASAMPLE_ASSOCALPHA;
        r.hasAlpha = extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA;
    }
    uint16_t* red = nullptr;
    uint16_t* green = nullptr;
    uint16_t* blue = nullptr;
    if (TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) == 1) {
        const size_t n = size_t{1} << r.bitsPerSample;
        r.colorMap.assign(red, red + n);
        r.colorMap.insert(r.colorMap.end(), green, green + n);
        r.colorMap.insert(r.colorMap.end(), blue, blue + n);
    }
    r.stride = static_cast<size_t>(TIFFScanlineSize64(tif));
    r.data.assign(r.stride * r.height, 0);
    for (uint32_t y = 0; y < r.height; ++y) {
        if (TIFFReadScanline(tif, r.data.data() + y * r.stride, y, 0) != 1) {
            throw std::runtime_error("cannot decode a row");
        }
    }
}

}  // namespace

std::vector<ReadBackPage> ReadBack(const std::string& path) {
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    if (bytes.size() > 2 && bytes[0] == 'E') {
        bytes[0] = bytes[1] = 'I';
    }
    const std::string plain = path + ".readback";
    WriteFileBytes(plain, bytes);
    TIFF* tif = TIFFOpen(plain.c_str(), "r");
    std::remove(plain.c_str());
    if (tif == nullptr) {
        throw std::runtime_error("libtiff cannot open " + path);
    }
    std::vector<ReadBackPage> pages;
    do {
        ReadBackPage page;
        page.directoryOffset = TIFFCurrentDirOffset(tif);
        page.compression = Field<uint16_t>(tif, TIFFTAG_COMPRESSION);
        page.orientation = Field<uint16_t>(tif, TIFFTAG_ORIENTATION);
        page.tiled = TIFFIsTiled(tif) != 0;
        page.resolutionUnit = Field<uint16_t>(tif, TIFFTAG_RESOLUTIONUNIT);
        page.hasResolution = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &page.xResolution) == 1 &&
                             TIFFGetField(tif, TIFFTAG_YRESOLUTION, &page.yResolution) == 1;
        const uint32_t chunks = page.tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
        for (uint32_t i = 0; i < chunks; ++i) {
            std::vector<uint8_t> raw(TIFFGetStrileByteCount(tif, i));
            const tmsize_t n = static_cast<tmsize_t>(raw.size());
            const tmsize_t got = page.tiled ? TIFFReadRawTile(tif, i, raw.data(), n)
                                            : TIFFReadRawStrip(tif, i, raw.data(), n);
            if (got != n) {
                TIFFClose(tif);
                throw std::runtime_error("cannot read compressed data of " + path);
            }
            page.rawChunks.push_back(std::move(raw));
        }
        try {
            ReadPixels(tif, page);
        } catch (...) {
            TIFFClose(tif);
            throw;
        }
        pages.push_back(std::move(page));
    } while (TIFFReadDirectory(tif) == 1);
    TIFFClose(tif);
    return pages;
}

}  // namespace folio::engine::testing
