#include "bench_documents.h"

#include <tiffio.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <stdexcept>
#include <vector>

namespace folio::bench {
namespace {

// Text-like content: lines of words made of 26 random 5x7 glyphs drawn 5 times
// larger, so runs and their changes from line to line look like print.
std::vector<uint8_t> TextPage() {
    const size_t rowBytes = (kA4Width + 7) / 8;
    std::vector<uint8_t> bits(rowBytes * kA4Height, 0);
    std::mt19937 random(42);
    std::vector<uint64_t> glyphs(26);
    for (auto& g : glyphs) {
        g = random() & ((uint64_t{1} << 35) - 1);
    }
    const auto set = [&](unsigned x, unsigned y) {
        bits[y * rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    };
    constexpr unsigned kScale = 5;
    constexpr unsigned kAdvance = 6 * kScale;
    for (unsigned top = 240; top + 8 * kScale < kA4Height - 240; top += 12 * kScale) {
        for (unsigned left = 240; left + kAdvance < kA4Width - 240; left += kAdvance) {
            if (random() % 7 == 0) {
                continue;  // a space between words
            }
            const uint64_t glyph = glyphs[random() % glyphs.size()];
            for (unsigned gy = 0; gy < 7 * kScale; ++gy) {
                for (unsigned gx = 0; gx < 5 * kScale; ++gx) {
                    if ((glyph >> ((gy / kScale) * 5 + gx / kScale)) & 1) {
                        set(left + gx, top + gy);
                    }
                }
            }
        }
    }
    return bits;
}

void Check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(what);
    }
}

void SetTags(TIFF* tif, int index, int count) {
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kA4Width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kA4Height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kA4Height);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 300.0f);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(index),
                 static_cast<uint16_t>(count));
}

// `data` compressed by libtiff as the one strip of a scratch file with the tags
// `setTags` gives, and read back as stored, to be repeated without compressing again.
std::vector<uint8_t> CompressedStrip(const std::string& scratch,
                                     const std::function<void(TIFF*)>& setTags,
                                     std::vector<uint8_t> data) {
    TIFF* tif = TIFFOpen(scratch.c_str(), "w");
    Check(tif != nullptr, "cannot create a scratch file");
    setTags(tif);
    const bool ok =
        TIFFWriteEncodedStrip(tif, 0, data.data(), static_cast<tmsize_t>(data.size())) >= 0 &&
        TIFFWriteDirectory(tif) == 1;
    TIFFClose(tif);
    Check(ok, "cannot encode the strip");
    tif = TIFFOpen(scratch.c_str(), "r");
    Check(tif != nullptr, "cannot reopen the scratch file");
    std::vector<uint8_t> raw(TIFFGetStrileByteCount(tif, 0));
    const tmsize_t got = TIFFReadRawStrip(tif, 0, raw.data(), static_cast<tmsize_t>(raw.size()));
    TIFFClose(tif);
    std::filesystem::remove(scratch);
    Check(got == static_cast<tmsize_t>(raw.size()), "cannot read the strip back");
    return raw;
}

std::vector<uint8_t> EncodedPage(const std::string& scratch) {
    return CompressedStrip(
        scratch, [](TIFF* tif) { SetTags(tif, 0, 1); }, TextPage());
}

}  // namespace

void WriteG4Document(const std::string& path, int pages) {
    std::vector<uint8_t> raw = EncodedPage(path + ".page");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    Check(tif != nullptr, "cannot create the document");
    bool ok = true;
    for (int i = 0; i < pages && ok; ++i) {
        SetTags(tif, i, pages);
        ok = TIFFWriteRawStrip(tif, 0, raw.data(), static_cast<tmsize_t>(raw.size())) >= 0 &&
             TIFFWriteDirectory(tif) == 1;
    }
    TIFFClose(tif);
    Check(ok, "cannot write the document");
}

void WriteLargeGrayDocument(const std::string& path, int pages, unsigned side) {
    constexpr uint32_t kRowsPerStrip = 256;
    // One strip compressed once (by libtiff, in a scratch file) and repeated.
    const std::string scratch = path + ".strip";
    const auto setTags = [&](TIFF* tif, int index, int count) {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, side);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, side);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
        TIFFSetField(tif, TIFFTAG_ZIPQUALITY, 9);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kRowsPerStrip);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0f);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 300.0f);
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(index),
                     static_cast<uint16_t>(count));
    };
    Check(side % kRowsPerStrip == 0, "the side must be a multiple of 256 rows");
    std::vector<uint8_t> strip(size_t{side} * kRowsPerStrip);
    for (size_t i = 0; i < strip.size(); ++i) {
        strip[i] = static_cast<uint8_t>(i % side);
    }
    std::vector<uint8_t> raw = CompressedStrip(
        scratch,
        [&](TIFF* tif) {
            setTags(tif, 0, 1);
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kRowsPerStrip);
        },
        std::move(strip));

    TIFF* tif = TIFFOpen(path.c_str(), "w");
    Check(tif != nullptr, "cannot create the document");
    bool ok = true;
    for (int i = 0; i < pages && ok; ++i) {
        setTags(tif, i, pages);
        for (uint32_t s = 0; s < side / kRowsPerStrip && ok; ++s) {
            ok = TIFFWriteRawStrip(tif, s, raw.data(), static_cast<tmsize_t>(raw.size())) >= 0;
        }
        ok = ok && TIFFWriteDirectory(tif) == 1;
    }
    TIFFClose(tif);
    Check(ok, "cannot write the document");
}

const std::string& BenchFolder() {
    static const std::string folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "folio-bench-XXXXXX").string();
        Check(mkdtemp(pattern.data()) != nullptr, "cannot make a temporary folder");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(BenchFolder(), ignored);
        });
        return pattern;
    }();
    return folder;
}

}  // namespace folio::bench
