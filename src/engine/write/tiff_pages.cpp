// Pages into a TIFF being written: copied as stored when already in the form we
// write, or compressed from decoded pixels.

#include "engine/write/tiff_pages.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/image/raster.h"
#include "engine/tiff/located_error.h"
#include "engine/tiff/tiff_io.h"

namespace folio::engine {

namespace {

// Unused bytes between two chunks still worth reading to save a separate read.
constexpr uint64_t kMaxGapRead = uint64_t{8} << 10;
// Bytes read at once at most, unless a single chunk is larger.
constexpr uint64_t kMaxRunRead = uint64_t{8} << 20;

bool KnownColourModel(uint16_t photometric) {
    switch (photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_RGB:
        case PHOTOMETRIC_PALETTE:
        case PHOTOMETRIC_SEPARATED:
            return true;
        default:
            return false;
    }
}

// Upright, unturned, and compressed as the writer would compress it: bilevel as
// G4, anything else as LZW or Deflate, in a colour model every reader knows.
bool InTargetForm(uint16_t photometric, uint16_t bits, uint16_t samples, uint16_t compression,
                  uint16_t orientation, int quarterTurns) {
    if (quarterTurns % 4 != 0 || orientation != ORIENTATION_TOPLEFT ||
        !KnownColourModel(photometric)) {
        return false;
    }
    const bool bilevel =
        bits == 1 && samples == 1 &&
        (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK);
    if (bilevel) {
        return compression == COMPRESSION_CCITTFAX4;
    }
    return compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE ||
           compression == COMPRESSION_DEFLATE;
}

uint32_t ChunkCount(TIFF* tif) {
    return TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
}

void SetResolution(TIFF* out, const PageResolution& resolution) {
    if (resolution.HasSize()) {
        TIFFSetField(out, TIFFTAG_XRESOLUTION, static_cast<float>(resolution.xDpi));
        TIFFSetField(out, TIFFTAG_YRESOLUTION, static_cast<float>(resolution.yDpi));
        TIFFSetField(out, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    } else if (resolution.pixelAspect > 0.0 && resolution.pixelAspect != 1.0) {
        TIFFSetField(out, TIFFTAG_XRESOLUTION, static_cast<float>(resolution.pixelAspect));
        TIFFSetField(out, TIFFTAG_YRESOLUTION, 1.0f);
        TIFFSetField(out, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
    }
}

template <typename T>
void CopyField(TIFF* in, TIFF* out, uint32_t tag) {
    T value{};
    if (TIFFGetField(in, tag, &value) == 1) {
        TIFFSetField(out, tag, value);
    }
}

void CopyText(TIFF* in, TIFF* out, uint32_t tag) {
    const char* text = nullptr;
    if (TIFFGetField(in, tag, &text) == 1 && text != nullptr) {
        TIFFSetField(out, tag, text);
    }
}

void CopyTags(TIFF* in, TIFF* out, const PageResolution& resolution, PagePosition position) {
    const uint16_t compression = Defaulted<uint16_t>(in, TIFFTAG_COMPRESSION);
    const uint16_t bits = Defaulted<uint16_t>(in, TIFFTAG_BITSPERSAMPLE);
    CopyField<uint32_t>(in, out, TIFFTAG_IMAGEWIDTH);
    CopyField<uint32_t>(in, out, TIFFTAG_IMAGELENGTH);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, Defaulted<uint16_t>(in, TIFFTAG_SAMPLESPERPIXEL));
    TIFFSetField(out, TIFFTAG_COMPRESSION, compression);
    CopyField<uint16_t>(in, out, TIFFTAG_PHOTOMETRIC);
    TIFFSetField(out, TIFFTAG_FILLORDER, Defaulted<uint16_t>(in, TIFFTAG_FILLORDER));
    TIFFSetField(out, TIFFTAG_PLANARCONFIG, Defaulted<uint16_t>(in, TIFFTAG_PLANARCONFIG));
    TIFFSetField(out, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    if (TIFFIsTiled(in)) {
        CopyField<uint32_t>(in, out, TIFFTAG_TILEWIDTH);
        CopyField<uint32_t>(in, out, TIFFTAG_TILELENGTH);
    } else {
        TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, Defaulted<uint32_t>(in, TIFFTAG_ROWSPERSTRIP));
    }
    // As a decoded page's: inches whenever the page has a size, so that a copied and
    // a re-encoded page of one document read back alike everywhere.
    SetResolution(out, resolution);
    CopyField<uint16_t>(in, out, TIFFTAG_SAMPLEFORMAT);
    CopyField<uint16_t>(in, out, TIFFTAG_INKSET);
    if (compression == COMPRESSION_CCITTFAX4) {
        CopyField<uint32_t>(in, out, TIFFTAG_GROUP4OPTIONS);
    } else {
        CopyField<uint16_t>(in, out, TIFFTAG_PREDICTOR);
    }
    uint16_t* red = nullptr;
    uint16_t* green = nullptr;
    uint16_t* blue = nullptr;
    if (TIFFGetField(in, TIFFTAG_COLORMAP, &red, &green, &blue) == 1) {
        TIFFSetField(out, TIFFTAG_COLORMAP, red, green, blue);
    }
    uint16_t extraCount = 0;
    uint16_t* extra = nullptr;
    if (TIFFGetField(in, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) == 1 && extraCount > 0) {
        TIFFSetField(out, TIFFTAG_EXTRASAMPLES, extraCount, extra);
    }
    uint32_t iccSize = 0;
    void* icc = nullptr;
    if (TIFFGetField(in, TIFFTAG_ICCPROFILE, &iccSize, &icc) == 1 && iccSize > 0) {
        TIFFSetField(out, TIFFTAG_ICCPROFILE, iccSize, icc);
    }
    for (uint32_t tag : {TIFFTAG_DOCUMENTNAME, TIFFTAG_PAGENAME, TIFFTAG_IMAGEDESCRIPTION,
                         TIFFTAG_ARTIST, TIFFTAG_DATETIME, TIFFTAG_SOFTWARE}) {
        CopyText(in, out, tag);
    }
    SetPagePosition(out, position);
}

}  // namespace

void SetPagePosition(TIFF* out, PagePosition position) {
    const auto clamp16 = [](int value) {
        return static_cast<uint16_t>(std::clamp(value, 0, 0xFFFF));
    };
    TIFFSetField(out, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(out, TIFFTAG_PAGENUMBER, clamp16(position.index), clamp16(position.count));
}

bool CanCopyUnchanged(TIFF* in, const PageInfo& expected, int quarterTurns, uint64_t fileSize) {
    uint16_t photometric = 0;
    if (Defaulted<uint32_t>(in, TIFFTAG_IMAGEWIDTH) != expected.width ||
        Defaulted<uint32_t>(in, TIFFTAG_IMAGELENGTH) != expected.height ||
        Defaulted<uint16_t>(in, TIFFTAG_COMPRESSION) != expected.compression ||
        Defaulted<uint16_t>(in, TIFFTAG_BITSPERSAMPLE) != expected.bitsPerSample ||
        Defaulted<uint16_t>(in, TIFFTAG_SAMPLESPERPIXEL) != expected.samplesPerPixel) {
        return false;
    }
    if (!expected.uncopyable.empty() || TIFFGetField(in, TIFFTAG_PHOTOMETRIC, &photometric) != 1 ||
        photometric != expected.photometric ||
        !InTargetForm(photometric, Defaulted<uint16_t>(in, TIFFTAG_BITSPERSAMPLE),
                      Defaulted<uint16_t>(in, TIFFTAG_SAMPLESPERPIXEL),
                      Defaulted<uint16_t>(in, TIFFTAG_COMPRESSION),
                      Defaulted<uint16_t>(in, TIFFTAG_ORIENTATION), quarterTurns)) {
        return false;
    }
    // Samples wider than a byte are stored in the file's byte order; the output is
    // written in the machine's.
    if (Defaulted<uint16_t>(in, TIFFTAG_BITSPERSAMPLE) > 8 && TIFFIsByteSwapped(in)) {
        return false;
    }
    const uint32_t chunks = ChunkCount(in);
    if (chunks == 0) {
        return false;
    }
    for (uint32_t i = 0; i < chunks; ++i) {
        const uint64_t offset = TIFFGetStrileOffset(in, i);
        const uint64_t bytes = TIFFGetStrileByteCount(in, i);
        if (bytes == 0 || offset > fileSize || bytes > fileSize - offset) {
            return false;
        }
    }
    return true;
}

bool MayCopyUnchanged(const PageInfo& info, int quarterTurns) {
    return info.uncopyable.empty() &&
           InTargetForm(info.photometric, info.bitsPerSample, info.samplesPerPixel,
                        info.compression, info.orientation, quarterTurns);
}

bool CopyPageUnchanged(TiffSourceFile& in, TiffOutputFile& out, const PageInfo& info,
                       PagePosition position) {
    TIFF* const tif = in.Handle();
    TIFF* const target = out.Handle();
    CopyTags(tif, target, ResolutionOf(info), position);
    const bool tiled = TIFFIsTiled(tif) != 0;
    const uint32_t chunks = ChunkCount(tif);
    if (ChunkCount(target) != chunks) {
        return false;
    }
    std::vector<ChunkSpan> spans(chunks);
    for (uint32_t i = 0; i < chunks; ++i) {
        spans[i] = ChunkSpan{TIFFGetStrileOffset(tif, i), TIFFGetStrileByteCount(tif, i)};
    }
    std::vector<uint8_t> scratch;
    for (const ChunkRun& run : GroupChunks(spans, kMaxGapRead, kMaxRunRead)) {
        // The chunks are appended one after another where they were read to, so
        // a run without gaps needs no copying on the way out.
        uint8_t* bytes = out.Reserve(static_cast<size_t>(run.size));
        if (bytes == nullptr) {
            scratch.resize(static_cast<size_t>(run.size));
            bytes = scratch.data();
        }
        if (!in.ReadRange(run.offset, bytes, run.size)) {
            return false;
        }
        for (uint32_t i = run.first; i < run.first + run.count; ++i) {
            uint8_t* data = bytes + (spans[i].offset - run.offset);
            const auto size = static_cast<tmsize_t>(spans[i].size);
            const tmsize_t put = tiled ? TIFFWriteRawTile(target, i, data, size)
                                       : TIFFWriteRawStrip(target, i, data, size);
            if (put != size) {
                return false;
            }
        }
    }
    return TIFFWriteDirectory(target) == 1;
}

namespace {

// Uncompressed bytes per strip: large enough for Deflate to find its matches,
// small enough to keep the working buffers small.
constexpr size_t kStripBytes = size_t{256} << 10;

void Check(const Raster& r, int page) {
    if (r.width == 0 || r.height == 0 || r.samplesPerPixel == 0 || r.bitsPerSample == 0 ||
        r.bitsPerSample > 16) {
        throw LocatedError(errors::kInvalidFileFormat, PageName(page), "it has no pixels to write");
    }
    const size_t rowBytes = RowBytes(r.width, size_t{r.bitsPerSample} * r.samplesPerPixel);
    if (r.stride < rowBytes || r.data.size() < r.stride * (r.height - 1) + rowBytes) {
        throw LocatedError(errors::kDamagedFile, PageName(page),
                           "its decoded pixels are incomplete");
    }
    if (r.photometric == PHOTOMETRIC_PALETTE &&
        r.colorMap.size() != (size_t{3} << r.bitsPerSample)) {
        throw LocatedError(errors::kDamagedFile, PageName(page), "its colour map is incomplete");
    }
    if (r.extraSamples != 0 && r.extraSamples >= r.samplesPerPixel) {
        throw LocatedError(errors::kDamagedFile, PageName(page), "it has no colour samples");
    }
}

// The tags that describe the pixels; the same in memory and in the output.
void SetPixelTags(TIFF* out, const Raster& r, uint32_t rowsPerStrip) {
    const uint16_t compression = TargetCompression(r);
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, r.width);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, r.height);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, r.bitsPerSample);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, r.samplesPerPixel);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, r.photometric);
    TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(out, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(out, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(out, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (compression == COMPRESSION_CCITTFAX4) {
        TIFFSetField(out, TIFFTAG_GROUP4OPTIONS, uint32_t{0});
    } else if ((r.bitsPerSample == 8 || r.bitsPerSample == 16) &&
               r.photometric != PHOTOMETRIC_PALETTE) {
        // Neighbouring samples of scanned images differ little: the differences
        // compress far better than the values.
        TIFFSetField(out, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    if (r.photometric == PHOTOMETRIC_PALETTE) {
        const size_t entries = size_t{1} << r.bitsPerSample;
        TIFFSetField(out, TIFFTAG_COLORMAP, r.colorMap.data(), r.colorMap.data() + entries,
                     r.colorMap.data() + 2 * entries);
    }
    if (r.photometric == PHOTOMETRIC_SEPARATED) {
        TIFFSetField(out, TIFFTAG_INKSET, INKSET_CMYK);
    }
    if (r.extraSamples > 0) {
        std::vector<uint16_t> kinds(r.extraSamples, EXTRASAMPLE_UNSPECIFIED);
        if (r.hasAlpha) {
            kinds[0] = r.associatedAlpha ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
        }
        TIFFSetField(out, TIFFTAG_EXTRASAMPLES, r.extraSamples, kinds.data());
    }
}

}  // namespace

PageResolution ResolutionOf(const PageInfo& info, bool turned) {
    if (!turned) {
        return {info.xDpi, info.yDpi, info.pixelAspect};
    }
    return {info.yDpi, info.xDpi, info.pixelAspect > 0.0 ? 1.0 / info.pixelAspect : 1.0};
}

uint16_t TargetCompression(const Raster& raster) {
    const bool bilevel = raster.bitsPerSample == 1 && raster.samplesPerPixel == 1 &&
                         (raster.photometric == PHOTOMETRIC_MINISWHITE ||
                          raster.photometric == PHOTOMETRIC_MINISBLACK);
    return bilevel ? COMPRESSION_CCITTFAX4 : COMPRESSION_ADOBE_DEFLATE;
}

EncodedPage EncodePage(const Raster& raster, PageResolution resolution, int page,
                       bool singleStrip) {
    Check(raster, page);
    EncodedPage encoded;
    encoded.header = RasterHeader(raster);
    encoded.resolution = resolution;
    const size_t rowBytes =
        RowBytes(raster.width, size_t{raster.bitsPerSample} * raster.samplesPerPixel);
    encoded.rowsPerStrip =
        singleStrip
            ? raster.height
            : static_cast<uint32_t>(std::clamp<size_t>(kStripBytes / rowBytes, 1, raster.height));

    MemoryTiff memory;
    TIFF* tif = memory.Handle();
    SetPixelTags(tif, raster, encoded.rowsPerStrip);
    // libtiff may change the buffer it encodes from, so each strip is copied out of
    // the (shared, read-only) raster first.
    std::vector<uint8_t> strip(rowBytes * encoded.rowsPerStrip);
    uint32_t index = 0;
    for (uint32_t y = 0; y < raster.height; y += encoded.rowsPerStrip, ++index) {
        const uint32_t rows = std::min(encoded.rowsPerStrip, raster.height - y);
        for (uint32_t i = 0; i < rows; ++i) {
            std::memcpy(strip.data() + i * rowBytes, raster.data.data() + (y + i) * raster.stride,
                        rowBytes);
        }
        if (TIFFWriteEncodedStrip(tif, index, strip.data(),
                                  static_cast<tmsize_t>(rows * rowBytes)) < 0) {
            throw LocatedError(errors::kDeviceIoError, PageName(page),
                               memory.Log().Reason("it cannot be compressed"));
        }
        const uint64_t bytes = TIFFGetStrileByteCount(tif, index);
        encoded.strips.push_back(memory.Bytes(TIFFGetStrileOffset(tif, index), bytes));
        if (bytes == 0 || encoded.strips.back().size() != bytes) {
            throw LocatedError(errors::kDeviceIoError, PageName(page),
                               "its compressed data is lost");
        }
    }
    return encoded;
}

bool WriteEncodedPage(TIFF* out, const EncodedPage& page, PagePosition position) {
    SetPixelTags(out, page.header, page.rowsPerStrip);
    SetResolution(out, page.resolution);
    SetPagePosition(out, position);
    for (size_t i = 0; i < page.strips.size(); ++i) {
        const auto& strip = page.strips[i];
        if (TIFFWriteRawStrip(out, static_cast<uint32_t>(i), const_cast<uint8_t*>(strip.data()),
                              static_cast<tmsize_t>(strip.size())) < 0) {
            return false;
        }
    }
    return TIFFWriteDirectory(out) == 1;
}

}  // namespace folio::engine
