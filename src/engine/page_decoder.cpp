#include "engine/page_decoder.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <optional>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/compression_registry.h"
#include "engine/data_size_check.h"
#include "engine/orientation.h"
#include "engine/plane_reader.h"
#include "engine/rgba_fallback.h"
#include "engine/sample_repacker.h"
#include "engine/tiff_file.h"

namespace folio::engine {
namespace {

// The page's layout as libtiff stores it (before the Orientation tag).
struct StoredLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bits = 1;
    uint16_t samples = 1;
    uint16_t photometric = 1;
    uint16_t colourSamples = 1;
    uint16_t keptBits = 8;  // the raster's depth: the stored one when it can hold it
    bool isSigned = false;
};

// How many colour samples the photometric has when we keep the page in its own
// model; 0 when we do not (such pages go through libtiff's RGBA conversion).
uint16_t ModelColourSamples(TIFF* tif, const PageInfo& info, uint16_t photometric) {
    const uint16_t samples = info.samplesPerPixel;
    switch (photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK:
            return samples >= 1 ? 1 : 0;
        case PHOTOMETRIC_PALETTE:
            return samples == 1 && info.bitsPerSample <= 8 && info.sampleFormat == SAMPLEFORMAT_UINT
                       ? 1
                       : 0;
        case PHOTOMETRIC_RGB:
            return samples >= 3 ? 3 : 0;
        case PHOTOMETRIC_SEPARATED: {
            uint16_t inkSet = INKSET_CMYK;
            TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkSet);
            return inkSet == INKSET_CMYK && samples >= 4 ? 4 : 0;
        }
        default:
            return 0;
    }
}

// The depth a raster keeps: bilevel, 2- and 4-bit single-sample pages stay
// packed; everything else is held at 8 or 16 bits per sample.
uint16_t KeptBits(uint16_t bits, uint16_t samples, uint16_t photometric) {
    if (samples == 1 && (bits == 1 || bits == 2 || bits == 4)) {
        return bits;
    }
    if (photometric == PHOTOMETRIC_PALETTE) {
        return 8;
    }
    return bits <= 8 ? 8 : 16;
}

[[noreturn]] void Fail(int32_t number, const std::string& where, const std::string& what) {
    throw Error(number, where + ": " + what);
}

void CheckSize(double bytes, const PageInfo& info, const std::string& where, size_t maxBytes) {
    if (bytes > static_cast<double>(maxBytes)) {
        Fail(errors::kOutOfMemory, where,
             "the page is too large to decode (" + std::to_string(info.width) + " x " +
                 std::to_string(info.height) + " pixels, " +
                 std::to_string(static_cast<uint64_t>(bytes / 1048576.0)) + " MiB; the limit is " +
                 std::to_string(maxBytes >> 20) + " MiB)");
    }
}

void ReadColourMap(TIFF* tif, uint16_t storedBits, Raster& raster) {
    uint16_t* red = nullptr;
    uint16_t* green = nullptr;
    uint16_t* blue = nullptr;
    if (TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) != 1) {
        return;
    }
    // A widened palette page (3, 5, 6 or 7 bits) gets a full table, padded.
    const size_t n = size_t{1} << storedBits;
    const size_t kept = size_t{1} << raster.bitsPerSample;
    for (const uint16_t* table : {red, green, blue}) {
        raster.colorMap.insert(raster.colorMap.end(), table, table + n);
        raster.colorMap.insert(raster.colorMap.end(), kept - n, 0);
    }
    // Some writers store 8-bit entries; widen them as other readers do.
    if (std::all_of(raster.colorMap.begin(), raster.colorMap.end(),
                    [](uint16_t v) { return v < 256; })) {
        for (auto& v : raster.colorMap) {
            v = static_cast<uint16_t>(v * 257);
        }
    }
}

void ReadExtraSamples(TIFF* tif, Raster& raster) {
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    if (raster.extraSamples > 0 && TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) == 1 &&
        count > 0) {
        raster.associatedAlpha = kinds[0] == EXTRASAMPLE_ASSOCALPHA;
        raster.hasAlpha = kinds[0] == EXTRASAMPLE_ASSOCALPHA || kinds[0] == EXTRASAMPLE_UNASSALPHA;
    }
}

// Reads a page kept in its own model; planes of a planar page are interleaved.
Raster DecodeNative(TiffFile& file, const StoredLayout& layout, const PageInfo& info,
                    const std::string& where, size_t maxBytes) {
    TIFF* tif = file.Handle();
    Raster raster;
    raster.width = layout.width;
    raster.height = layout.height;
    raster.bitsPerSample = layout.keptBits;
    raster.samplesPerPixel = layout.samples;
    raster.photometric = layout.photometric;
    raster.extraSamples = static_cast<uint16_t>(layout.samples - layout.colourSamples);
    raster.stride = (static_cast<size_t>(layout.width) * layout.samples * layout.keptBits + 7) / 8;
    CheckSize(static_cast<double>(raster.stride) * layout.height, info, where, maxBytes);
    raster.data.assign(raster.stride * layout.height, 0);

    const bool separate = info.planarConfig == PLANARCONFIG_SEPARATE && layout.samples > 1;
    bool ok = true;
    if (!separate && layout.keptBits == layout.bits && !layout.isSigned) {
        ok = ReadPlane(tif, 0, layout.height, raster.stride,
                       static_cast<uint16_t>(layout.bits * layout.samples), raster.data.data());
    } else {
        // Planes read one at a time, then interleaved (and widened) into place.
        SampleRepack repack;
        repack.bits = layout.bits;
        repack.samplesInPlane = separate ? 1 : layout.samples;
        repack.isSigned = layout.isSigned;
        repack.scale = layout.photometric != PHOTOMETRIC_PALETTE;
        const auto planeBits = static_cast<uint16_t>(layout.bits * repack.samplesInPlane);
        const size_t planeStride = (static_cast<size_t>(layout.width) * planeBits + 7) / 8;
        std::vector<uint8_t> plane(planeStride * layout.height);
        for (uint16_t s = 0; ok && s < (separate ? layout.samples : 1); ++s) {
            ok = ReadPlane(tif, s, layout.height, planeStride, planeBits, plane.data());
            repack.firstSample = s;
            if (ok) {
                RepackPlane(plane.data(), planeStride, repack, raster);
            }
        }
    }
    if (!ok) {
        const std::string why = file.TakeError();
        Fail(errors::kDamagedFile, where,
             "the page's image data is damaged" + (why.empty() ? "" : " (" + why + ")"));
    }
    if (layout.photometric == PHOTOMETRIC_PALETTE) {
        ReadColourMap(tif, layout.bits, raster);
        if (raster.colorMap.empty()) {
            Fail(errors::kDamagedFile, where, "a palette page without a colour map");
        }
    }
    ReadExtraSamples(tif, raster);
    return raster;
}

constexpr uint16_t kMaxNativeSamples = 8;

uint32_t StoredWidth(TIFF* tif) {
    uint32_t width = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    return width;
}

uint32_t StoredHeight(TIFF* tif) {
    uint32_t height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    return height;
}

// How the page is kept when it is kept in its own model, or nothing when it goes
// through libtiff's RGBA conversion instead.
std::optional<StoredLayout> NativeLayout(TIFF* tif, const PageInfo& info) {
    StoredLayout layout;
    layout.width = StoredWidth(tif);
    layout.height = StoredHeight(tif);
    layout.bits = info.bitsPerSample;
    layout.samples = info.samplesPerPixel;
    layout.photometric = info.photometric;
    if (info.photometric == PHOTOMETRIC_YCBCR && info.compression == COMPRESSION_JPEG &&
        info.bitsPerSample == 8) {
        layout.photometric = PHOTOMETRIC_RGB;  // once libjpeg is asked to convert
    }
    layout.colourSamples = ModelColourSamples(tif, info, layout.photometric);
    layout.isSigned = info.sampleFormat == SAMPLEFORMAT_INT;
    layout.keptBits = layout.isSigned ? (layout.bits <= 8 ? 8 : 16)
                                      : KeptBits(layout.bits, layout.samples, layout.photometric);
    const bool separate = info.planarConfig == PLANARCONFIG_SEPARATE && layout.samples > 1;
    const bool integers =
        info.sampleFormat == SAMPLEFORMAT_UINT || info.sampleFormat == SAMPLEFORMAT_INT;
    // Colour plus a few extra samples; more is not a page we keep as is.
    if (layout.samples > kMaxNativeSamples || layout.bits < 1 || layout.bits > 16) {
        return std::nullopt;
    }
    const auto planeBits = static_cast<uint16_t>(layout.bits * (separate ? 1 : layout.samples));
    if (layout.colourSamples > 0 && integers &&
        (!info.tiled || TilesAreByteAligned(tif, planeBits))) {
        return layout;
    }
    return std::nullopt;
}

}  // namespace

bool CanDecode(TIFF* tif, const PageInfo& info) {
    const CompressionScheme scheme = LookUpCompression(info.compression);
    if (!scheme.decodable) {
        return false;
    }
    if (scheme.decoder || NativeLayout(tif, info)) {
        return true;
    }
    char why[1024] = {};
    return TIFFRGBAImageOK(tif, why) == 1;
}

Raster DecodePage(TiffFile& file, const PageInfo& info, const std::string& where, size_t maxBytes) {
    TIFF* tif = file.Handle();
    const CompressionScheme scheme = LookUpCompression(info.compression);
    if (!scheme.decodable) {
        Fail(errors::kUnsupportedCompression, where, UnsupportedCompressionText(scheme));
    }
    if (info.width == 0 || info.height == 0) {
        Fail(errors::kDamagedFile, where,
             "the page has no pixels (" + std::to_string(info.width) + " x " +
                 std::to_string(info.height) + ")");
    }
    // Refuse before libtiff or we allocate anything for it.
    // (In floating point: a hostile width, depth and sample count overflow 64 bits.)
    const double rowBytes = std::ceil(static_cast<double>(info.width) * info.samplesPerPixel *
                                      info.bitsPerSample / 8.0);
    CheckSize(rowBytes * info.height, info, where, maxBytes);
    // (What the directory claims, but no more than the whole file holds.)
    const uint64_t stored = std::min(StoredBytes(tif), file.Size());
    const double least = LeastStoredBytes(info, StoredHeight(tif), rowBytes * info.height);
    if (static_cast<double>(stored) < least) {
        Fail(errors::kDamagedFile, where,
             "the page's image data is far too short for its size (" + std::to_string(stored) +
                 " bytes for " + std::to_string(info.width) + " x " + std::to_string(info.height) +
                 " pixels)");
    }
    file.TakeError();

    Raster raster;
    if (scheme.decoder) {
        raster = scheme.decoder(tif, info);
    } else if (const auto layout = NativeLayout(tif, info)) {
        if (info.photometric == PHOTOMETRIC_YCBCR) {
            // libjpeg converts to RGB for us, whatever the subsampling.
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
        raster = DecodeNative(file, *layout, info, where, maxBytes);
    } else {
        raster =
            DecodeThroughRgba(file, StoredWidth(tif), StoredHeight(tif), info, where, maxBytes);
    }
    ApplyOrientation(raster, info.orientation);
    return raster;
}

}  // namespace folio::engine
