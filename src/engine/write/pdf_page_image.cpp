// One page's image for a PDF: passed through as stored (CCITT, baseline JPEG) or
// encoded losslessly, free of any PDF library.

#include "engine/write/pdf_page_image.h"

#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/image/raster_transforms.h"
#include "engine/tiff/located_error.h"
#include "engine/write/tiff_pages.h"

namespace folio::engine {
namespace {

// Clockwise quarter turns that show a page stored in this Orientation upright;
// -1 for the mirrored ones, which a turn cannot express, and unknown values.
int OrientationTurns(uint16_t orientation) {
    const PixelTransform t = UprightTransform(orientation);
    return orientation < 1 || orientation > 8 || t.mirror ? -1 : t.turns;
}

// Dots per inch of the upright page; 72 dpi when it has none, keeping the shape
// of its pixels when the tags carry only that.
void SetDotsPerInch(PdfImage& image, const PageInfo& info, bool swapAxes) {
    const PageResolution page = ResolutionOf(info);
    if (page.HasSize()) {
        image.xDpi = page.xDpi;
        image.yDpi = page.yDpi;
    } else {
        image.xDpi = 72.0 * (page.pixelAspect > 0.0 ? page.pixelAspect : 1.0);
        image.yDpi = 72.0;
    }
    if (swapAxes) {
        std::swap(image.xDpi, image.yDpi);
    }
}

bool IsCcitt(uint16_t compression) {
    return compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
           compression == COMPRESSION_CCITTFAX4;
}

bool IsGray(uint16_t photometric) {
    return photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
}

// CCITT parameters for the page, or false for a variant PDF cannot read as stored.
bool SetCcittParameters(const PageInfo& info, PdfImage& image) {
    if (info.fillOrder != FILLORDER_MSB2LSB) {
        return false;
    }
    image.filter = PdfImage::Filter::CCITTFax;
    image.bitsPerComponent = 1;
    image.blackIs1 = info.photometric == PHOTOMETRIC_MINISBLACK;
    if (info.compression == COMPRESSION_CCITTFAX4) {
        image.k = -1;
        return (info.faxOptions & GROUP4OPT_UNCOMPRESSED) == 0;
    }
    if (info.compression == COMPRESSION_CCITTRLE) {
        // Modified Huffman rows without end-of-line codes, each starting on a byte.
        image.k = 0;
        image.encodedByteAlign = true;
        return true;
    }
    // Uncompressed runs and end-of-line codes padded to a byte are left to decoding.
    if ((info.faxOptions & (GROUP3OPT_UNCOMPRESSED | GROUP3OPT_FILLBITS)) != 0) {
        return false;
    }
    // Two-dimensional rows carry their own tag bit; any positive K reads them.
    image.k = (info.faxOptions & GROUP3OPT_2DENCODING) != 0 ? 4 : 0;
    return true;
}

uint16_t ReadMarkerLength(const std::vector<uint8_t>& s, size_t at) {
    return static_cast<uint16_t>(s[at] << 8 | s[at + 1]);
}

// Whether `jpeg` is a baseline (or extended Huffman) 8-bit JPEG of the given
// geometry, judged from its frame header.
bool IsPlainJpeg(const std::vector<uint8_t>& jpeg, uint32_t width, uint32_t height,
                 int components) {
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) {
        return false;
    }
    size_t at = 2;
    while (at + 4 <= jpeg.size()) {
        if (jpeg[at] != 0xFF) {
            return false;
        }
        const uint8_t marker = jpeg[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) {
            return false;  // scan data before any frame header
        }
        const size_t length = ReadMarkerLength(jpeg, at + 2);
        if (length < 2 || at + 2 + length > jpeg.size()) {
            return false;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            if ((marker != 0xC0 && marker != 0xC1) || length < 8) {
                return false;
            }
            const uint8_t* f = jpeg.data() + at + 4;
            return f[0] == 8 && (uint32_t{f[1]} << 8 | f[2]) == height &&
                   (uint32_t{f[3]} << 8 | f[4]) == width && f[5] == components;
        }
        at += 2 + length;
    }
    return false;
}

// The strip with the page's shared tables put in front of its own segments, so
// that it reads as one complete JPEG stream.
std::vector<uint8_t> MergeJpegTables(TIFF* tif, std::vector<uint8_t> strip) {
    uint32_t count = 0;
    void* tables = nullptr;
    if (TIFFGetField(tif, TIFFTAG_JPEGTABLES, &count, &tables) != 1 || tables == nullptr ||
        count < 4 || strip.size() < 2) {
        return strip;
    }
    const auto* t = static_cast<const uint8_t*>(tables);
    if (t[0] != 0xFF || t[1] != 0xD8 || t[count - 2] != 0xFF || t[count - 1] != 0xD9) {
        return strip;
    }
    std::vector<uint8_t> merged(t, t + count - 2);
    merged.insert(merged.end(), strip.begin() + 2, strip.end());
    return merged;
}

bool SetJpegParameters(TIFF* tif, uint16_t photometric, uint16_t samples, PdfImage& image) {
    if (samples == 1 && IsGray(photometric)) {
        image.colour = PdfImage::Colour::Gray;
        image.inverted = photometric == PHOTOMETRIC_MINISWHITE;
    } else if (samples == 3 && photometric == PHOTOMETRIC_YCBCR) {
        image.colour = PdfImage::Colour::Rgb;
    } else if (samples == 3 && photometric == PHOTOMETRIC_RGB) {
        image.colour = PdfImage::Colour::Rgb;
        image.noColorTransform = true;
    } else {
        return false;
    }
    image.filter = PdfImage::Filter::DCT;
    image.bitsPerComponent = 8;
    image.data = MergeJpegTables(tif, std::move(image.data));
    return IsPlainJpeg(image.data, image.width, image.height, samples);
}

// ---- decoded pages

// One row of the image as the stream holds it, made a row at a time so that no
// second copy of a page's pixels is ever held: a row of the raster itself where it
// already is in that form, else one written into `scratch` (RowBytes long).
class RowSource {
  public:
    virtual ~RowSource() = default;
    virtual const uint8_t* Row(uint32_t y, uint8_t* scratch) const = 0;
};

// Samples [first, first + count) of every pixel as PDF wants them: rows packed
// most significant bit first, 16-bit values big-endian.
class SampleRows : public RowSource {
  public:
    SampleRows(const Raster& r, int first, int count) : r_(r), first_(first), count_(count) {}

    const uint8_t* Row(uint32_t y, uint8_t* to) const override {
        const int bits = r_.bitsPerSample;
        const int spp = r_.samplesPerPixel;
        const uint8_t* in = r_.data.data() + y * r_.stride;
        if (first_ == 0 && count_ == spp && bits <= 8) {
            return in;
        }
        std::fill(to, to + RowBytes(r_.width, static_cast<size_t>(bits * count_)), uint8_t{0});
        for (uint32_t x = 0; x < r_.width; ++x) {
            for (int c = 0; c < count_; ++c) {
                const size_t from = size_t{x} * spp + static_cast<size_t>(first_ + c);
                const size_t into = size_t{x} * count_ + static_cast<size_t>(c);
                if (bits == 16) {
                    uint16_t v = 0;
                    std::copy(in + 2 * from, in + 2 * from + 2, reinterpret_cast<uint8_t*>(&v));
                    to[2 * into] = static_cast<uint8_t>(v >> 8);
                    to[2 * into + 1] = static_cast<uint8_t>(v);
                } else if (bits == 8) {
                    to[into] = in[from];
                } else {
                    const size_t bit = from * static_cast<size_t>(bits);
                    const unsigned v = (in[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                    const size_t outBit = into * static_cast<size_t>(bits);
                    to[outBit / 8] |= static_cast<uint8_t>(v << (8 - bits - outBit % 8));
                }
            }
        }
        return to;
    }

  private:
    const Raster& r_;
    int first_;
    int count_;
};

int Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// zlib's deflate into a vector that grows as the output comes.
class Deflater {
  public:
    explicit Deflater(int page) : page_(page) {
        if (deflateInit(&z_, Z_DEFAULT_COMPRESSION) != Z_OK) {
            Fail();
        }
    }
    ~Deflater() { deflateEnd(&z_); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    void Add(const uint8_t* data, size_t size) { Run(data, size, Z_NO_FLUSH); }

    std::vector<uint8_t> Finish() {
        Run(nullptr, 0, Z_FINISH);
        out_.resize(produced_);
        if (out_.capacity() - out_.size() > out_.size() / 4) {
            out_.shrink_to_fit();  // held until the whole PDF is written
        }
        return std::move(out_);
    }

  private:
    static constexpr size_t kStep = size_t{1} << 16;

    void Run(const uint8_t* data, size_t size, int flush) {
        z_.next_in = const_cast<Bytef*>(data);
        z_.avail_in = static_cast<uInt>(size);
        int rc = Z_OK;
        do {
            if (out_.size() - produced_ < kStep) {
                out_.resize(produced_ + kStep);
            }
            z_.next_out = out_.data() + produced_;
            z_.avail_out = static_cast<uInt>(out_.size() - produced_);
            rc = deflate(&z_, flush);
            produced_ = out_.size() - z_.avail_out;
            if (rc == Z_STREAM_ERROR) {
                Fail();
            }
        } while (z_.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
    }

    [[noreturn]] void Fail() const {
        throw LocatedError(errors::kOutOfMemory, PageName(page_), "it cannot be compressed");
    }

    int page_;
    z_stream z_{};
    std::vector<uint8_t> out_;
    size_t produced_ = 0;
};

// Rows filtered for the PNG predictor, each with the filter that leaves the
// smallest residues (the usual sum-of-absolute-values rule), then deflated.
std::vector<uint8_t> DeflateWithPredictor(const RowSource& rows, uint32_t height, size_t rowBytes,
                                          size_t pixelBytes, int page) {
    std::vector<uint8_t> candidate[4];
    for (auto& c : candidate) {
        c.resize(rowBytes);
    }
    std::vector<uint8_t> scratch[2] = {std::vector<uint8_t>(rowBytes),
                                       std::vector<uint8_t>(rowBytes)};
    const std::vector<uint8_t> zero(rowBytes, 0);
    std::vector<uint8_t> filtered(rowBytes + 1);
    Deflater deflater(page);
    const uint8_t* up = zero.data();
    for (uint32_t y = 0; y < height; ++y) {
        // The scratch row not holding the row above.
        const uint8_t* row = rows.Row(y, scratch[y % 2].data());
        uint64_t best = UINT64_MAX;
        int chosen = 0;
        for (int f = 0; f < 4; ++f) {
            uint64_t cost = 0;
            for (size_t i = 0; i < rowBytes; ++i) {
                const int a = i >= pixelBytes ? row[i - pixelBytes] : 0;
                const int c = i >= pixelBytes ? up[i - pixelBytes] : 0;
                const int predicted = f == 0 ? 0 : f == 1 ? a : f == 2 ? up[i] : Paeth(a, up[i], c);
                const auto residue = static_cast<uint8_t>(row[i] - predicted);
                candidate[f][i] = residue;
                cost += residue < 128 ? residue : 256 - residue;
            }
            if (cost < best) {
                best = cost;
                chosen = f;
            }
        }
        filtered[0] = static_cast<uint8_t>(chosen == 3 ? 4 : chosen);  // PNG numbers Paeth 4
        std::copy(candidate[chosen].begin(), candidate[chosen].end(), filtered.begin() + 1);
        deflater.Add(filtered.data(), filtered.size());
        up = row;
    }
    return deflater.Finish();
}

std::vector<uint8_t> Deflated(const RowSource& rows, uint32_t width, uint32_t height, int bits,
                              int components, int page) {
    const size_t pixelBytes = std::max<size_t>(1, static_cast<size_t>(bits * components) / 8);
    return DeflateWithPredictor(
        rows, height, RowBytes(width, static_cast<size_t>(bits * components)), pixelBytes, page);
}

uint8_t To8Bits(uint16_t value) {
    return static_cast<uint8_t>((value + 128) / 257);
}

// A 16-bit palette page, which PDF's indexed colour cannot hold, as 16-bit RGB,
// big-endian.
class ExpandedPaletteRows : public RowSource {
  public:
    explicit ExpandedPaletteRows(const Raster& r) : r_(r) {}

    const uint8_t* Row(uint32_t y, uint8_t* to) const override {
        const auto* in = reinterpret_cast<const uint16_t*>(r_.data.data() + y * r_.stride);
        const size_t entries = r_.colorMap.size() / 3;
        for (uint32_t x = 0; x < r_.width; ++x) {
            const size_t index = std::min<size_t>(in[x * r_.samplesPerPixel], entries - 1);
            for (size_t c = 0; c < 3; ++c) {
                const uint16_t v = r_.colorMap[c * entries + index];
                to[(x * 3 + c) * 2] = static_cast<uint8_t>(v >> 8);
                to[(x * 3 + c) * 2 + 1] = static_cast<uint8_t>(v);
            }
        }
        return to;
    }

  private:
    const Raster& r_;
};

void CheckRaster(const Raster& r, int page) {
    const int bits = r.bitsPerSample;
    if (r.width == 0 || r.height == 0 || r.samplesPerPixel == 0 ||
        (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)) {
        throw LocatedError(errors::kInvalidFileFormat, PageName(page), "it has no pixels to write");
    }
    const size_t rowBytes = RowBytes(r.width, static_cast<size_t>(bits) * r.samplesPerPixel);
    if (r.stride < rowBytes || r.data.size() < r.stride * (r.height - 1) + rowBytes ||
        (bits == 16 && r.stride % 2 != 0)) {
        throw LocatedError(errors::kDamagedFile, PageName(page),
                           "its decoded pixels are incomplete");
    }
    if (r.photometric == PHOTOMETRIC_PALETTE && r.colorMap.size() != (size_t{3} << bits)) {
        throw LocatedError(errors::kDamagedFile, PageName(page), "its colour map is incomplete");
    }
}

PdfImage::Colour ColourOf(const Raster& r, int colourSamples, int page) {
    const auto unsupported = [&] {
        return LocatedError(errors::kInvalidFileFormat, PageName(page),
                            "photometric " + std::to_string(r.photometric) + " with " +
                                std::to_string(colourSamples) +
                                " colour samples cannot be written");
    };
    switch (r.photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK:
            if (colourSamples != 1) {
                throw unsupported();
            }
            return PdfImage::Colour::Gray;
        case PHOTOMETRIC_RGB:
            if (colourSamples != 3) {
                throw unsupported();
            }
            return PdfImage::Colour::Rgb;
        case PHOTOMETRIC_PALETTE:
            if (colourSamples != 1) {
                throw unsupported();
            }
            return PdfImage::Colour::Indexed;
        case PHOTOMETRIC_SEPARATED:
            if (colourSamples != 4) {
                throw unsupported();
            }
            return PdfImage::Colour::Cmyk;
        default:
            throw unsupported();
    }
}

PdfImage EncodeFlate(const Raster& r, int page) {
    PdfImage image;
    image.width = r.width;
    image.height = r.height;
    image.bitsPerComponent = r.bitsPerSample;
    const int extra = std::min<int>(r.extraSamples, r.samplesPerPixel);
    const int colourSamples = r.samplesPerPixel - extra;
    image.colour = ColourOf(r, colourSamples, page);
    image.components = image.colour == PdfImage::Colour::Indexed ? 1 : colourSamples;
    image.inverted = r.photometric == PHOTOMETRIC_MINISWHITE;
    if (image.colour == PdfImage::Colour::Indexed) {
        const size_t entries = r.colorMap.size() / 3;
        image.palette.resize(entries * 3);
        for (size_t i = 0; i < entries; ++i) {
            for (size_t c = 0; c < 3; ++c) {
                image.palette[i * 3 + c] = To8Bits(r.colorMap[c * entries + i]);
            }
        }
    }
    image.data = Deflated(SampleRows(r, 0, colourSamples), r.width, r.height, r.bitsPerSample,
                          image.components, page);
    if (r.hasAlpha && extra > 0) {
        PdfImage::Alpha alpha;
        alpha.bitsPerComponent = r.bitsPerSample;
        alpha.premultiplied = r.associatedAlpha;
        alpha.data =
            Deflated(SampleRows(r, colourSamples, 1), r.width, r.height, r.bitsPerSample, 1, page);
        image.alpha = std::move(alpha);
    }
    return image;
}

// A JPEG strip read whole: its frame header decides, and the tables its page keeps
// apart go in front. The page's directory is read again for those tables and must
// still be the page the document listed.
bool ReadJpeg(TiffSourceFile& in, const PageInfo& info, uint64_t directory, uint64_t offset,
              uint64_t bytes, PdfImage& image) {
    TIFF* const tif = in.Handle();
    if (tif == nullptr || !in.SelectPage(directory)) {
        return false;
    }
    uint16_t photometric = 0;
    if (TIFFIsTiled(tif) || TIFFNumberOfStrips(tif) != 1 ||
        Defaulted<uint32_t>(tif, TIFFTAG_IMAGEWIDTH) != image.width ||
        Defaulted<uint32_t>(tif, TIFFTAG_IMAGELENGTH) != image.height ||
        Defaulted<uint16_t>(tif, TIFFTAG_COMPRESSION) != info.compression ||
        Defaulted<uint16_t>(tif, TIFFTAG_ORIENTATION) != info.orientation ||
        Defaulted<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL) != info.samplesPerPixel ||
        Defaulted<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE) != info.bitsPerSample ||
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 1 ||
        photometric != info.photometric || TIFFGetStrileOffset(tif, 0) != offset ||
        TIFFGetStrileByteCount(tif, 0) != bytes) {
        return false;
    }
    image.data.resize(static_cast<size_t>(bytes));
    return in.ReadRange(offset, image.data.data(), bytes) &&
           SetJpegParameters(tif, photometric, info.samplesPerPixel, image);
}

}  // namespace

std::optional<PdfPageBox> FitPageBox(double width, double height) {
    constexpr double kLeast = 3.0;
    constexpr double kMost = 14400.0;
    constexpr double kLargestUnit = 75000.0;
    const double longer = std::max(width, height);
    const double shorter = std::min(width, height);
    if (!(shorter >= kLeast) || !std::isfinite(longer)) {
        return std::nullopt;  // a unit below one point is not taken
    }
    double unit = 1.0;
    if (longer > kMost) {
        // Four significant digits, rounded up so the longer side stays within.
        const double exact = longer / kMost;
        const double step = std::pow(10.0, std::floor(std::log10(exact)) - 3);
        unit = std::ceil(exact / step) * step;
        if (unit > kLargestUnit || shorter / unit < kLeast) {
            return std::nullopt;
        }
    }
    return PdfPageBox{width / unit, height / unit, unit};
}

std::optional<PdfPageBox> PageBoxOf(const PageInfo& info, double& width, double& height) {
    PdfImage image;
    SetDotsPerInch(image, info, false);
    width = info.width * 72.0 / image.xDpi;
    height = info.height * 72.0 / image.yDpi;
    return FitPageBox(width, height);
}

bool MayPassThrough(const PageInfo& info) {
    if (!info.uncopyable.empty() || info.tiled || info.planarConfig != PLANARCONFIG_CONTIG ||
        OrientationTurns(info.orientation) < 0) {
        return false;
    }
    if (IsCcitt(info.compression)) {
        return info.IsBilevel() && IsGray(info.photometric);
    }
    return info.compression == COMPRESSION_JPEG && info.bitsPerSample == 8 &&
           (info.samplesPerPixel == 1 || info.samplesPerPixel == 3);
}

std::optional<PdfImage> PassThroughImage(TiffSourceFile& in, const PageInfo& info,
                                         uint64_t directory, int turns) {
    const uint64_t offset = info.firstChunkOffset;
    const uint64_t bytes = info.firstChunkBytes;
    if (!in.IsOpen() || !MayPassThrough(info) || info.chunks != 1 || bytes == 0 ||
        offset > in.FileSize() || bytes > in.FileSize() - offset) {
        return std::nullopt;
    }
    // As stored, not as decoded would pass for a page whose data cannot hold its rows.
    if (const std::string shortfall = ShortDataReason(info, bytes, info.height);
        !shortfall.empty()) {
        throw Error(errors::kDamagedFile, shortfall);
    }
    const bool swapped = info.orientation >= ORIENTATION_LEFTTOP;
    PdfImage image;
    image.width = swapped ? info.height : info.width;
    image.height = swapped ? info.width : info.height;
    if (IsCcitt(info.compression)) {
        // All it takes is in the page list: the data is read only as the PDF is written.
        if (!SetCcittParameters(info, image)) {
            return std::nullopt;
        }
        image.fileOffset = offset;
        image.fileBytes = bytes;
    } else if (!ReadJpeg(in, info, directory, offset, bytes, image)) {
        return std::nullopt;
    }
    SetDotsPerInch(image, info, swapped);
    image.turns = NormalQuarterTurns(OrientationTurns(info.orientation) + turns);
    return image;
}

PdfImage EncodePdfImage(const Raster& raster, const PageInfo& info, int turns, int page) {
    CheckRaster(raster, page);
    PdfImage image;
    const bool bilevel =
        raster.bitsPerSample == 1 && raster.samplesPerPixel == 1 && IsGray(raster.photometric);
    if (bilevel) {
        EncodedPage g4 = EncodePage(raster, PageResolution{}, page, true);
        if (g4.strips.size() != 1) {
            throw LocatedError(errors::kDeviceIoError, PageName(page), "it cannot be compressed");
        }
        image.width = raster.width;
        image.height = raster.height;
        image.bitsPerComponent = 1;
        image.filter = PdfImage::Filter::CCITTFax;
        image.k = -1;
        image.blackIs1 = raster.photometric == PHOTOMETRIC_MINISBLACK;
        image.data = std::move(g4.strips[0]);
    } else if (raster.photometric == PHOTOMETRIC_PALETTE && raster.bitsPerSample == 16) {
        image.width = raster.width;
        image.height = raster.height;
        image.bitsPerComponent = 16;
        image.colour = PdfImage::Colour::Rgb;
        image.components = 3;
        image.data =
            Deflated(ExpandedPaletteRows(raster), raster.width, raster.height, 16, 3, page);
    } else {
        image = EncodeFlate(raster, page);
    }
    SetDotsPerInch(image, info, false);
    image.turns = NormalQuarterTurns(turns);
    return image;
}

PdfImage NoticeImage(const PageInfo& info, int turns, std::string notice) {
    PdfImage image;
    if (info.width > 0 && info.height > 0) {
        image.width = info.width;
        image.height = info.height;
        SetDotsPerInch(image, info, false);
    } else {
        // A4 at 300 dpi.
        image.width = 2480;
        image.height = 3508;
        image.xDpi = image.yDpi = 300.0;
    }
    // Turned by its size only, so that the text reads upright.
    if (NormalQuarterTurns(turns) % 2 == 1) {
        std::swap(image.width, image.height);
        std::swap(image.xDpi, image.yDpi);
    }
    image.notice = std::move(notice);
    return image;
}

}  // namespace folio::engine
