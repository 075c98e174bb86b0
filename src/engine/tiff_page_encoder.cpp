#include "engine/tiff_page_encoder.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/memory_tiff.h"
#include "engine/raster_header.h"

namespace folio::engine {
namespace {

// Uncompressed bytes per strip: large enough for Deflate to find its matches,
// small enough to keep the working buffers small.
constexpr size_t kStripBytes = size_t{256} << 10;

size_t RowBytes(const Raster& r) {
    return (size_t{r.width} * r.bitsPerSample * r.samplesPerPixel + 7) / 8;
}

std::string PageName(int page) {
    return "page " + std::to_string(page + 1);
}

void Check(const Raster& r, int page) {
    if (r.width == 0 || r.height == 0 || r.samplesPerPixel == 0 || r.bitsPerSample == 0 ||
        r.bitsPerSample > 16) {
        throw Error(errors::kInvalidFileFormat, PageName(page) + " has no pixels to write");
    }
    const size_t rowBytes = RowBytes(r);
    if (r.stride < rowBytes || r.data.size() < r.stride * (r.height - 1) + rowBytes) {
        throw Error(errors::kDamagedFile, PageName(page) + ": its decoded pixels are incomplete");
    }
    if (r.photometric == PHOTOMETRIC_PALETTE &&
        r.colorMap.size() != (size_t{3} << r.bitsPerSample)) {
        throw Error(errors::kDamagedFile, PageName(page) + ": its colour map is incomplete");
    }
    if (r.extraSamples != 0 && r.extraSamples >= r.samplesPerPixel) {
        throw Error(errors::kDamagedFile, PageName(page) + ": it has no colour samples");
    }
}

void SetResolution(TIFF* out, const PageResolution& resolution) {
    if (resolution.xDpi > 0.0 && resolution.yDpi > 0.0) {
        TIFFSetField(out, TIFFTAG_XRESOLUTION, static_cast<float>(resolution.xDpi));
        TIFFSetField(out, TIFFTAG_YRESOLUTION, static_cast<float>(resolution.yDpi));
        TIFFSetField(out, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    } else if (resolution.pixelAspect > 0.0 && resolution.pixelAspect != 1.0) {
        TIFFSetField(out, TIFFTAG_XRESOLUTION, static_cast<float>(resolution.pixelAspect));
        TIFFSetField(out, TIFFTAG_YRESOLUTION, 1.0f);
        TIFFSetField(out, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
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
    const size_t rowBytes = RowBytes(raster);
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
            throw Error(errors::kDeviceIoError,
                        PageName(page) + ": " + memory.Log().Reason("it cannot be compressed"));
        }
        const uint64_t bytes = TIFFGetStrileByteCount(tif, index);
        encoded.strips.push_back(memory.Bytes(TIFFGetStrileOffset(tif, index), bytes));
        if (bytes == 0 || encoded.strips.back().size() != bytes) {
            throw Error(errors::kDeviceIoError, PageName(page) + ": its compressed data is lost");
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
