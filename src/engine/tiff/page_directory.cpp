// What a file's page directory says: each page's PageInfo, the container (TIFF or
// .mdi), the compressions we know, the limits against hostile files, and the
// check that a page's data can be as large as it claims.

#include "engine/tiff/page_directory.h"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/tiff/tiff_io.h"

namespace folio::engine {

namespace {

struct KnownScheme {
    uint16_t number;
    const char* name;
    // The one place to plug in a decoder for a scheme libtiff does not have.
    CustomPageDecoder decoder;
};

// Names as users and other tools know them. The .mdi format's own schemes
// (34718 to 34720) are listed so that their pages open and are named; none of
// them has a decoder yet.
constexpr KnownScheme kSchemes[] = {
    {1, "None", nullptr},
    {2, "CCITT RLE", nullptr},
    {3, "CCITT G3", nullptr},
    {4, "CCITT G4", nullptr},
    {5, "LZW", nullptr},
    {6, "Old-style JPEG", nullptr},
    {7, "JPEG", nullptr},
    {8, "Deflate", nullptr},
    {9, "JBIG (T.85)", nullptr},
    {10, "JBIG2 (T.43)", nullptr},
    {32766, "NeXT", nullptr},
    {32771, "CCITT RLEW", nullptr},
    {32773, "PackBits", nullptr},
    {32809, "ThunderScan", nullptr},
    {32895, "IT8 CT padding", nullptr},
    {32896, "IT8 line work", nullptr},
    {32897, "IT8 monochrome picture", nullptr},
    {32898, "IT8 binary line art", nullptr},
    {32908, "Pixar film", nullptr},
    {32909, "Pixar log", nullptr},
    {32946, "Deflate (old code)", nullptr},
    {32947, "Kodak DCS", nullptr},
    {34661, "JBIG", nullptr},
    {34676, "SGI LogLuv", nullptr},
    {34677, "SGI LogLuv 24", nullptr},
    {34712, "JPEG 2000", nullptr},
    {34718, "BLC", nullptr},
    {34719, "MDI compression 34719", nullptr},
    {34720, "MDI compression 34720", nullptr},
    {34887, "LERC", nullptr},
    {34925, "LZMA", nullptr},
    {50000, "Zstandard", nullptr},
    {50001, "WebP", nullptr},
    {50002, "JPEG XL", nullptr},
};

}  // namespace

CompressionScheme LookUpCompression(uint16_t number) {
    CompressionScheme scheme;
    scheme.number = number;
    scheme.name = "compression " + std::to_string(number);
    for (const auto& known : kSchemes) {
        if (known.number == number) {
            scheme.name = known.name;
            scheme.decoder = known.decoder;
            break;
        }
    }
    scheme.decodable = scheme.decoder != nullptr || TIFFIsCODECConfigured(number) == 1;
    return scheme;
}

std::string UnsupportedCompressionText(const CompressionScheme& scheme) {
    const std::string number = std::to_string(scheme.number);
    if (scheme.name.find(number) != std::string::npos) {
        return scheme.name + " is not supported";
    }
    return scheme.name + " compression (" + number + ") is not supported";
}

std::string UnsupportedLayoutText(const std::string& why) {
    const std::string text = "this kind of page is not supported";
    return why.empty() ? text : text + " (" + why + ")";
}

std::string UndecodableText(const PageInfo& info) {
    if (!info.undecodable.empty()) {
        return info.undecodable;
    }
    const CompressionScheme scheme = LookUpCompression(info.compression);
    return scheme.decodable ? UnsupportedLayoutText({}) : UnsupportedCompressionText(scheme);
}

std::string UndecodableReason(const PageInfo& info) {
    return "it cannot be decoded: " + UndecodableText(info);
}

double LeastStoredBytes(const PageInfo& info, uint32_t storedHeight, double decodedBytes) {
    switch (info.compression) {
        case COMPRESSION_NONE:
            return decodedBytes / 2;
        case COMPRESSION_PACKBITS:
            return decodedBytes / 130;  // a run of 128 bytes takes 2
        case COMPRESSION_CCITTRLE:
        case COMPRESSION_CCITTRLEW:
        case COMPRESSION_CCITTFAX3:
        case COMPRESSION_CCITTFAX4:
            return storedHeight / 8.0;  // every row takes at least one bit
        case COMPRESSION_LZW:
            return decodedBytes / 8192;  // above the largest ratio 12-bit codes reach
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
            return decodedBytes / 2048;  // deflate tops out near 1032:1
        case COMPRESSION_JPEG:
            return decodedBytes / 4096;
        default:
            return 0;  // no bound we trust (JBIG, LZMA, Zstandard, ...)
    }
}

std::string ShortDataReason(const PageInfo& info, uint64_t storedBytes, uint32_t storedHeight) {
    // (In floating point: a hostile width, depth and sample count overflow 64 bits.)
    const double rowBytes = std::ceil(static_cast<double>(info.width) * info.samplesPerPixel *
                                      info.bitsPerSample / 8.0);
    if (static_cast<double>(storedBytes) >=
        LeastStoredBytes(info, storedHeight, rowBytes * info.height)) {
        return "";
    }
    return "the page's image data is far too short for its size (" + std::to_string(storedBytes) +
           " bytes for " + std::to_string(info.width) + " x " + std::to_string(info.height) +
           " pixels)";
}

std::string MissingColourMapText() {
    return "a palette page without a colour map: its colours cannot be known";
}

std::string StoredLayoutFault(const TiffFile& file, uint64_t directory, TIFF* tif,
                              const PageInfo& info) {
    if (info.photometric == PHOTOMETRIC_PALETTE) {
        uint16_t* red = nullptr;
        uint16_t* green = nullptr;
        uint16_t* blue = nullptr;
        if (TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) != 1) {
            return MissingColourMapText();
        }
    }
    const bool tiled = TIFFIsTiled(tif) != 0;
    const auto offsets =
        file.FindStoredEntry(directory, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS);
    const auto counts =
        file.FindStoredEntry(directory, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS);
    if (!counts) {
        return "the page's directory gives no byte counts for its image data";
    }
    // libtiff numbers the chunks the rows (or tiles) need, whatever the file lists.
    const uint64_t needed = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    const uint64_t listed = std::min(offsets ? offsets->count : 0, counts->count);
    if (listed < needed) {
        return "the page's directory lists " + std::to_string(listed) + " of the " +
               std::to_string(needed) + (tiled ? " tiles" : " strips") + " its size needs";
    }
    return "";
}

uint64_t StoredBytes(TIFF* tif) {
    const bool tiled = TIFFIsTiled(tif) != 0;
    const uint32_t count = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    uint64_t* counts = nullptr;
    if (TIFFGetField(tif, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts) != 1 ||
        counts == nullptr) {
        return 0;
    }
    uint64_t total = 0;
    for (uint32_t i = 0; i < count; ++i) {
        total += counts[i];
    }
    return total;
}

namespace {

// Resolutions outside this range are broken tags, not real scanners.
constexpr double kMinDpi = 1.0;
constexpr double kMaxDpi = 100000.0;
// Below this, resolutions without a unit are the shape of the pixels (2 x 1), as
// our own writer records a page that has no size.
constexpr double kMinUnitlessDpi = 10.0;

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
    // Fax and scanning software write dots per inch with no unit (204 x 98); only
    // small numbers, as a bare ratio of the pixels' sides is written, keep no size.
    if (unit == RESUNIT_NONE && (!hasX || !hasY || xr < kMinUnitlessDpi || yr < kMinUnitlessDpi)) {
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

PageInfo ReadPageInfo(TIFF* tif, UndecodableCheck whyUndecodable) {
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
    info.chunks = info.tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    if (info.chunks > 0) {
        info.firstChunkOffset = TIFFGetStrileOffset(tif, 0);
        info.firstChunkBytes = TIFFGetStrileByteCount(tif, 0);
    }
    TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &info.fillOrder);
    if (info.compression == COMPRESSION_CCITTFAX3) {
        TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &info.faxOptions);
    } else if (info.compression == COMPRESSION_CCITTFAX4) {
        TIFFGetField(tif, TIFFTAG_GROUP4OPTIONS, &info.faxOptions);
    }
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
    if (whyUndecodable) {
        info.undecodable = whyUndecodable(tif, info);
    }
    info.decodable = info.undecodable.empty();
    return info;
}

namespace {

// What libtiff said as it read a page's directory that means it mended where the
// page's data lies (byte counts estimated, a short list of strips padded), or "".
// Its other warnings (tags it does not know, such as the .mdi text tags) say
// nothing of the pixels.
std::string LayoutDamage(const std::vector<std::string>& messages) {
    for (const std::string& message : messages) {
        for (const char* tag :
             {"StripByteCounts", "StripOffsets", "TileByteCounts", "TileOffsets"}) {
            if (message.find(tag) != std::string::npos) {
                return message;
            }
        }
    }
    return "";
}

// What the directory in the file says where libtiff has mended it. libtiff reads a
// palette page without its colour map as gray (or RGB): its colours are unknown.
void CheckStoredLayout(const TiffFile& file, PageEntry& page) {
    PageInfo& info = page.info;
    TIFF* tif = file.Handle();
    const auto photometric = file.FindStoredEntry(page.offset, TIFFTAG_PHOTOMETRIC);
    if (photometric && photometric->value == PHOTOMETRIC_PALETTE) {
        info.photometric = PHOTOMETRIC_PALETTE;
    }
    info.uncopyable = StoredLayoutFault(file, page.offset, tif, info);
    // Whatever libtiff mended is its guess, not the file's data.
    if (info.uncopyable.empty()) {
        info.uncopyable = info.damage;
    }
    if (info.photometric == PHOTOMETRIC_PALETTE && info.uncopyable == MissingColourMapText()) {
        info.decodable = false;
        info.undecodable = info.uncopyable;
    }
}

[[noreturn]] void Fail(const TiffFile& file, const std::string& what) {
    throw Error(errors::kDamagedFile, file.Name() + ": " + what);
}

}  // namespace

std::vector<PageEntry> ReadPageDirectory(TiffFile& file, int maxPages,
                                         UndecodableCheck whyUndecodable) {
    TIFF* tif = file.Handle();
    std::vector<PageEntry> pages;
    // Where the pages end early; empty when the chain ends as it should.
    std::string broken;
    for (;;) {
        if (static_cast<int>(pages.size()) >= maxPages) {
            Fail(file, "more than " + std::to_string(maxPages) + " pages");
        }
        // (What libtiff said of this page's directory, as it was read.)
        const std::string damage = LayoutDamage(file.TakeMessages());
        pages.push_back({TIFFCurrentDirOffset(tif), ReadPageInfo(tif, whyUndecodable)});
        pages.back().info.damage = damage;
        CheckStoredLayout(file, pages.back());
        if (TIFFLastDirectory(tif)) {
            break;
        }
        const uint64_t offset = pages.back().offset;
        file.TakeError();
        if (TIFFReadDirectory(tif) == 1) {
            continue;
        }
        // libtiff keeps track of the directories it has read and refuses, with a
        // warning only, to read one a second time: a failure without an error is
        // that loop.
        const std::string why = file.TakeError();
        if (why.empty()) {
            broken = "the page chain loops back after page " + std::to_string(pages.size());
        } else if (file.NextDirectoryOffset(offset) >= file.Size()) {
            broken = "its directory lies past the end of the file";
        } else {
            broken = "its directory is damaged or truncated (" + why + ")";
        }
        break;
    }
    if (!broken.empty()) {
        // The size of the page before it, so that the break takes a page's place.
        PageInfo info = pages.back().info;
        info.decodable = false;
        info.damage.clear();
        info.chainBreak = std::move(broken);
        pages.push_back({0, std::move(info)});
    }
    return pages;
}

std::string ChainBreakReason(const PageInfo& info) {
    return "the rest of the document cannot be read: " + info.chainBreak;
}

}  // namespace folio::engine
