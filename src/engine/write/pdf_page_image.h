#pragma once

// One page's image for a PDF: passed through as stored (CCITT, baseline JPEG) or
// encoded losslessly, free of any PDF library.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/image/raster.h"
#include "engine/tiff/page_directory.h"
#include "engine/tiff/tiff_io.h"

namespace folio::engine {

// One page's image as it goes into a PDF: the stream's bytes with the filter that
// reads them, and what the image dictionary says of them. Free of any PDF library
// so that pages can be prepared on worker threads.
struct PdfImage {
    enum class Filter { Flate, CCITTFax, DCT };
    enum class Colour { Gray, Rgb, Cmyk, Indexed };

    uint32_t width = 0;  // pixels, as the stream holds them
    uint32_t height = 0;
    uint16_t bitsPerComponent = 8;
    Colour colour = Colour::Gray;
    std::vector<uint8_t> palette;  // 8-bit RGB triples for Indexed
    bool inverted = false;         // samples run from white (/Decode [1 0])
    Filter filter = Filter::Flate;
    // CCITTFax parameters.
    int k = -1;
    bool blackIs1 = false;
    bool encodedByteAlign = false;
    // DCT: the samples are RGB as they stand, not YCbCr to convert.
    bool noColorTransform = false;
    std::vector<uint8_t> data;
    // When `data` is empty: the stream is the source file's bytes at
    // [fileOffset, fileOffset + fileBytes), read only as the PDF is written.
    uint64_t fileOffset = 0;
    uint64_t fileBytes = 0;
    // Flate images: colour components per pixel for the PNG predictor.
    int components = 1;

    // Transparency of a Flate image: 8 or 16-bit gray, Flate with PNG predictor.
    struct Alpha {
        uint16_t bitsPerComponent = 8;
        bool premultiplied = false;  // colours were multiplied by alpha (/Matte)
        std::vector<uint8_t> data;
    };
    std::optional<Alpha> alpha;

    // Dots per inch along the stream's own axes (never 0) and the clockwise
    // quarter turns that show it upright and as the user turned it.
    double xDpi = 72.0;
    double yDpi = 72.0;
    int turns = 0;

    // When not empty, the page stands in for one that cannot be decoded or reached:
    // it has no image and shows this text (paragraphs apart by '\n'); the size and
    // resolutions above give the page's size.
    std::string notice;
};

// A page's box in PDF: its sides in units of `unit` points (the page's /UserUnit,
// 1 unless the page is too large for its sides to be given in points).
struct PdfPageBox {
    double width = 0.0;
    double height = 0.0;
    double unit = 1.0;
};

// The box that keeps a page of `width` x `height` points at its real size within
// what PDF readers take: sides of 3 to 14,400 units, a unit of 1 to 75,000 points
// (the unit 1 where it will do). Empty when no unit brings both sides within.
std::optional<PdfPageBox> FitPageBox(double width, double height);

// The same for the page a document describes, shown at its resolution as
// EncodePdfImage and PassThroughImage give it, so a page no PDF can hold is
// refused before anything is decoded; `width` and `height` get its size in points.
std::optional<PdfPageBox> PageBoxOf(const PageInfo& info, double& width, double& height);

// The image of a page whose compressed data PDF can read as stored: a CCITT page
// (G4, G3 or Modified Huffman, one strip, bits in the usual order) or a baseline
// JPEG page (one strip, its tables merged in), upright or turned by quarter turns.
// `info` is what the document says of the page, whose directory starts at
// `directory` in `in`. Empty when the page must be decoded instead (or its data
// lies outside the file, or its directory disagrees). Raises folio::Error when
// the stored data is far too short for the page's rows, as decoding would.
std::optional<PdfImage> PassThroughImage(TiffSourceFile& in, const PageInfo& info,
                                         uint64_t directory, int turns);

// Whether PassThroughImage may succeed, judged from the document's page list.
bool MayPassThrough(const PageInfo& info);

// A page of the size `info` gives (as turned by `turns`), or A4 when that size
// is unknown, that shows `notice` in place of the page.
PdfImage NoticeImage(const PageInfo& info, int turns, std::string notice);

// Encodes a decoded (upright) page losslessly: bilevel as CCITT G4, anything else
// as Flate with a PNG predictor in its own depth and colour model. Safe on any
// thread; raises folio::Error naming the page (zero-based `page`) on failure.
PdfImage EncodePdfImage(const Raster& raster, const PageInfo& info, int turns, int page);

}  // namespace folio::engine
