#include "engine/rgba_fallback.h"

#include <tiffio.h>

#include <vector>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/tiff_file.h"

namespace folio::engine {
namespace {

bool HasAlpha(TIFF* tif) {
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    return TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) == 1 && count > 0 &&
           (kinds[0] == EXTRASAMPLE_ASSOCALPHA || kinds[0] == EXTRASAMPLE_UNASSALPHA);
}

}  // namespace

Raster DecodeThroughRgba(TiffFile& file, uint32_t storedWidth, uint32_t storedHeight,
                         const PageInfo& info, const std::string& where, size_t maxBytes) {
    TIFF* tif = file.Handle();
    char why[1024] = {};
    if (TIFFRGBAImageOK(tif, why) != 1) {
        file.TakeError();
        throw Error(errors::kUnsupportedCompression,
                    where + ": this kind of page is not supported (" + why + ")");
    }
    const uint64_t pixels = static_cast<uint64_t>(storedWidth) * storedHeight;
    if (pixels * 4 > maxBytes) {
        throw Error(errors::kOutOfMemory, where + ": the page is too large to decode (" +
                                              std::to_string(info.width) + " x " +
                                              std::to_string(info.height) + " pixels)");
    }
    std::vector<uint32_t> rgba(static_cast<size_t>(pixels));
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    // Asking for the page's own orientation keeps its rows as stored, top first.
    if (TIFFReadRGBAImageOriented(tif, storedWidth, storedHeight, rgba.data(), orientation, 0) !=
        1) {
        const std::string message = file.TakeError();
        throw Error(errors::kDamagedFile, where + ": the page's image data is damaged" +
                                              (message.empty() ? "" : " (" + message + ")"));
    }
    Raster raster;
    raster.width = storedWidth;
    raster.height = storedHeight;
    raster.bitsPerSample = 8;
    raster.photometric = PHOTOMETRIC_RGB;
    const bool alpha = HasAlpha(tif);
    raster.samplesPerPixel = alpha ? 4 : 3;
    raster.extraSamples = alpha ? 1 : 0;
    raster.associatedAlpha = alpha;
    raster.hasAlpha = alpha;
    raster.stride = static_cast<size_t>(storedWidth) * raster.samplesPerPixel;
    raster.data.resize(raster.stride * storedHeight);
    uint8_t* out = raster.data.data();
    for (const uint32_t p : rgba) {
        *out++ = static_cast<uint8_t>(TIFFGetR(p));
        *out++ = static_cast<uint8_t>(TIFFGetG(p));
        *out++ = static_cast<uint8_t>(TIFFGetB(p));
        if (alpha) {
            *out++ = static_cast<uint8_t>(TIFFGetA(p));
        }
    }
    return raster;
}

}  // namespace folio::engine
