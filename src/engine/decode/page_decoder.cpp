// Decoding one page into a Raster in its own depth: planes of strips or tiles read
// through libtiff, samples repacked into rasters, and libtiff's RGBA conversion
// for colour models kept as nothing else.

#include "engine/decode/page_decoder.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/image/raster_transforms.h"
#include "engine/tiff/located_error.h"
#include "engine/tiff/page_directory.h"
#include "engine/tiff/tiff_io.h"

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
    throw LocatedError(number, where, what);
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

// What the page's first extra sample is (EXTRASAMPLE_*), if it has one.
std::optional<uint16_t> FirstExtraSample(TIFF* tif) {
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds) == 1 && count > 0) {
        return kinds[0];
    }
    return std::nullopt;
}

bool IsAlpha(std::optional<uint16_t> extraSample) {
    return extraSample == EXTRASAMPLE_ASSOCALPHA || extraSample == EXTRASAMPLE_UNASSALPHA;
}

void ReadExtraSamples(TIFF* tif, Raster& raster) {
    if (raster.extraSamples == 0) {
        return;
    }
    if (const auto kind = FirstExtraSample(tif)) {
        raster.associatedAlpha = kind == EXTRASAMPLE_ASSOCALPHA;
        raster.hasAlpha = IsAlpha(kind);
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
    raster.stride = RowBytes(layout.width, size_t{layout.samples} * layout.keptBits);
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
        const size_t planeStride = RowBytes(layout.width, planeBits);
        std::vector<uint8_t> plane(planeStride * layout.height);
        for (uint16_t s = 0; ok && s < (separate ? layout.samples : 1); ++s) {
            if (s > 0) {
                // A strip that cannot be read leaves zeros, not the plane before.
                std::fill(plane.begin(), plane.end(), uint8_t{0});
            }
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

std::string WhyUndecodable(TIFF* tif, const PageInfo& info) {
    const CompressionScheme scheme = LookUpCompression(info.compression);
    if (!scheme.decodable) {
        return UnsupportedCompressionText(scheme);
    }
    if (scheme.decoder || NativeLayout(tif, info)) {
        return {};
    }
    char why[1024] = {};
    return TIFFRGBAImageOK(tif, why) == 1 ? std::string() : UnsupportedLayoutText(why);
}

Raster DecodePage(TiffFile& file, const PageInfo& info, const std::string& where, size_t maxBytes) {
    TIFF* tif = file.Handle();
    const CompressionScheme scheme = LookUpCompression(info.compression);
    if (!scheme.decodable) {
        Fail(errors::kUnsupportedCompression, where, UnsupportedCompressionText(scheme));
    }
    // libtiff would read the indices as gray levels.
    if (info.undecodable == MissingColourMapText()) {
        Fail(errors::kDamagedFile, where, info.undecodable);
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
    if (const std::string shortfall = ShortDataReason(info, stored, StoredHeight(tif));
        !shortfall.empty()) {
        Fail(errors::kDamagedFile, where, shortfall);
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

namespace {

bool ReadStrips(TIFF* tif, uint16_t plane, uint32_t height, size_t rowBytes, uint8_t* out) {
    uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    if (rowsPerStrip == 0 || rowsPerStrip > height) {
        rowsPerStrip = height;
    }
    bool any = false;
    for (uint32_t y = 0; y < height; y += rowsPerStrip) {
        const uint32_t rows = std::min(rowsPerStrip, height - y);
        const uint32_t strip = TIFFComputeStrip(tif, y, plane);
        uint8_t* into = out + y * rowBytes;
        // A strip the directory does not list (libtiff pads the list with zeros) would
        // be read from the start of the file: it stays blank.
        if (TIFFGetStrileByteCount(tif, strip) == 0) {
            TIFFErrorExtR(tif, "ReadStrips", "strip %u has no data", strip);
            std::memset(into, 0, rows * rowBytes);
        } else if (TIFFReadEncodedStrip(tif, strip, into, static_cast<tmsize_t>(rows * rowBytes)) >=
                   0) {
            any = true;
        } else {
            // libtiff may have read other bytes of the file there before failing.
            std::memset(into, 0, rows * rowBytes);
        }
    }
    return any;
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
    bool any = false;
    for (uint32_t ty = 0; ty < height; ty += tileHeight) {
        for (uint32_t tx = 0; tx < width; tx += tileWidth) {
            const uint32_t index = TIFFComputeTile(tif, tx, ty, 0, plane);
            if (TIFFReadEncodedTile(tif, index, tile.data(), static_cast<tmsize_t>(tileBytes)) <
                0) {
                continue;
            }
            any = true;
            const size_t from = static_cast<size_t>(tx) * pixelBits / 8;
            const size_t count = std::min<size_t>(tileRowBytes, rowBytes - from);
            const uint32_t rows = std::min(tileHeight, height - ty);
            for (uint32_t r = 0; r < rows; ++r) {
                std::memcpy(out + (ty + r) * rowBytes + from, tile.data() + r * tileRowBytes,
                            count);
            }
        }
    }
    return any;
}

}  // namespace

std::string DecodeDamage(const std::vector<std::string>& messages) {
    for (const std::string& message : messages) {
        // libtiff's notice about the format itself, given for every such page.
        if (message.rfind("Deprecated and troublesome old-style JPEG", 0) != 0) {
            return message;
        }
    }
    return "";
}

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

namespace {

inline uint32_t ReadSample(const uint8_t* row, size_t index, uint16_t bits) {
    if (bits == 8) {
        return row[index];
    }
    if (bits == 16) {
        uint16_t v;
        std::memcpy(&v, row + 2 * index, 2);
        return v;
    }
    // Odd depths: most significant bit first, possibly across byte boundaries.
    size_t bit = index * bits;
    uint32_t v = 0;
    for (uint16_t k = 0; k < bits; ++k, ++bit) {
        v = (v << 1) | ((row[bit / 8] >> (7 - bit % 8)) & 1u);
    }
    return v;
}

}  // namespace

void RepackPlane(const uint8_t* plane, size_t stride, const SampleRepack& repack, Raster& raster) {
    const uint32_t inMax = (1u << repack.bits) - 1u;
    const uint32_t outBits = raster.bitsPerSample;
    const uint32_t outMax = (1u << outBits) - 1u;
    const uint32_t signBit = 1u << (repack.bits - 1);
    for (uint32_t y = 0; y < raster.height; ++y) {
        const uint8_t* from = plane + y * stride;
        uint8_t* to = raster.data.data() + y * raster.stride;
        for (uint32_t x = 0; x < raster.width; ++x) {
            for (uint16_t s = 0; s < repack.samplesInPlane; ++s) {
                uint32_t v = ReadSample(from, static_cast<size_t>(x) * repack.samplesInPlane + s,
                                        repack.bits);
                if (repack.isSigned) {
                    v ^= signBit;  // -2^(n-1)..2^(n-1)-1 becomes 0..2^n-1
                }
                if (repack.scale && repack.bits != outBits) {
                    v = (v * outMax + inMax / 2) / inMax;
                }
                const size_t index =
                    static_cast<size_t>(x) * raster.samplesPerPixel + repack.firstSample + s;
                if (outBits == 16) {
                    const auto w = static_cast<uint16_t>(v);
                    std::memcpy(to + 2 * index, &w, 2);
                } else {
                    to[index] = static_cast<uint8_t>(v);
                }
            }
        }
    }
}

Raster DecodeThroughRgba(TiffFile& file, uint32_t storedWidth, uint32_t storedHeight,
                         const PageInfo& info, const std::string& where, size_t maxBytes) {
    TIFF* tif = file.Handle();
    char why[1024] = {};
    if (TIFFRGBAImageOK(tif, why) != 1) {
        file.TakeError();
        Fail(errors::kUnsupportedCompression, where, UnsupportedLayoutText(why));
    }
    const uint64_t pixels = static_cast<uint64_t>(storedWidth) * storedHeight;
    CheckSize(static_cast<double>(pixels) * 4, info, where, maxBytes);
    std::vector<uint32_t> rgba(static_cast<size_t>(pixels));
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    // Asking for the page's own orientation keeps its rows as stored, top first.
    if (TIFFReadRGBAImageOriented(tif, storedWidth, storedHeight, rgba.data(), orientation, 0) !=
        1) {
        const std::string message = file.TakeError();
        Fail(errors::kDamagedFile, where,
             "the page's image data is damaged" + (message.empty() ? "" : " (" + message + ")"));
    }
    Raster raster;
    raster.width = storedWidth;
    raster.height = storedHeight;
    raster.bitsPerSample = 8;
    raster.photometric = PHOTOMETRIC_RGB;
    const bool alpha = IsAlpha(FirstExtraSample(tif));
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
