#include "engine/page_info_reader.h"

#include <tiffio.h>

#include <cmath>
#include <utility>

#include "engine/compression_registry.h"
#include "engine/page_decoder.h"

namespace folio::engine {
namespace {

// Resolutions outside this range are broken tags, not real scanners.
constexpr double kMinDpi = 1.0;
constexpr double kMaxDpi = 100000.0;

bool Plausible(double value) {
    return std::isfinite(value) && value > 0.0;
}

void ReadResolution(TIFF* tif, PageInfo& info) {
    float x = 0.0f;
    float y = 0.0f;
    const bool hasX = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) == 1 && Plausible(x);
    const bool hasY = TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y) == 1 && Plausible(y);
    if (!hasX && !hasY) {
        return;
    }
    // One tag alone means square pixels.
    double xr = hasX ? x : y;
    double yr = hasY ? y : x;
    info.pixelAspect = xr / yr;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit == RESUNIT_NONE) {
        return;
    }
    if (unit == RESUNIT_CENTIMETER) {
        xr *= 2.54;
        yr *= 2.54;
    }
    if (xr < kMinDpi || yr < kMinDpi || xr > kMaxDpi || yr > kMaxDpi) {
        info.pixelAspect = 1.0;
        return;
    }
    info.xDpi = xr;
    info.yDpi = yr;
}

}  // namespace

PageInfo ReadPageInfo(TIFF* tif) {
    PageInfo info;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &info.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &info.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &info.bitsPerSample);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &info.samplesPerPixel);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &info.compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &info.orientation);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &info.planarConfig);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &info.sampleFormat);
    if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &info.photometric) != 1) {
        // Files without the tag are, in practice, bilevel faxes or gray scans.
        info.photometric = info.samplesPerPixel >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE;
    }
    info.tiled = TIFFIsTiled(tif) != 0;
    ReadResolution(tif, info);
    if (info.orientation < 1 || info.orientation > 8) {
        info.orientation = ORIENTATION_TOPLEFT;
    }
    if (info.orientation >= ORIENTATION_LEFTTOP) {
        std::swap(info.width, info.height);
        std::swap(info.xDpi, info.yDpi);
        info.pixelAspect = 1.0 / info.pixelAspect;
    }
    info.compressionName = LookUpCompression(info.compression).name;
    info.decodable = CanDecode(tif, info);
    return info;
}

}  // namespace folio::engine
