#pragma once

// What a file's page directory says: each page's PageInfo, the container (TIFF or
// .mdi), the compressions we know, the limits against hostile files, and the
// check that a page's data can be as large as it claims.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/image/raster.h"

typedef struct tiff TIFF;

namespace folio::engine {

class TiffFile;

// Sanity limits against hostile or broken files. Real documents stay far below
// them: an A0 page at 600 dpi in 24-bit colour is about 1.4 GiB and is the kind
// of page we refuse; an A3 page at 600 dpi gray is 70 MiB.
inline constexpr size_t kMaxDecodedPageBytes = size_t{1} << 30;
// More pages than this is a broken or hostile page chain.
inline constexpr int kMaxPages = 100000;
// The largest rectangle one render call may produce, in pixels (256 MiB of
// colour): a whole A4 page at 600 dpi fits, with room to spare.
inline constexpr int64_t kMaxRenderPixels = int64_t{1} << 26;

// What the page directory says about one page, as stored (before any turn).
// Width, height and resolutions are those of the page upright, as Decode returns
// it: for an Orientation tag of 5 to 8 (rows stored as columns) they are swapped.
struct PageInfo {
    uint32_t width = 0;   // pixels
    uint32_t height = 0;  // pixels
    // Dots per inch from the resolution tags; 0 when the file gives none (then the
    // page is shown at one image pixel per device-independent pixel).
    double xDpi = 0.0;
    double yDpi = 0.0;
    uint16_t photometric = 0;
    uint16_t bitsPerSample = 1;
    uint16_t samplesPerPixel = 1;
    uint16_t compression = 1;
    uint16_t orientation = 1;
    uint16_t planarConfig = 1;
    bool tiled = false;
    // "None", "CCITT G4", "LZW", "BLC", "MDI compression 34719", ...
    std::string compressionName;
    // Whether the engine can produce this page's pixels, and when not, why not
    // ("BLC compression (34718) is not supported", or the colour model libtiff refuses).
    bool decodable = true;
    std::string undecodable;
    uint16_t sampleFormat = 1;  // 1 unsigned, 2 signed, 3 floating point
    // X resolution over Y resolution; kept for pages whose resolution tags have no
    // unit (xDpi and yDpi are then 0) so their pixels keep their shape.
    double pixelAspect = 1.0;
    // How the compressed data is laid out, for copying it unchanged: the number of
    // strips (or tiles), where the first lies and how long it is, the bit order, and
    // the Group 3 or Group 4 options of CCITT data.
    uint32_t chunks = 0;
    uint64_t firstChunkOffset = 0;
    uint64_t firstChunkBytes = 0;
    uint16_t fillOrder = 1;
    uint32_t faxOptions = 0;
    // Set only on the page where the file's page chain breaks: why that page and
    // any after it cannot be reached. Such a page has no directory of its own; it
    // takes the size of the page before it, so the viewer can give it its notice.
    std::string chainBreak;
    // Why the page's stored data must not be copied as it stands, although it may
    // decode (libtiff mends what the directory lacks, warning): no byte counts,
    // fewer strips than its rows need, a palette without its colour map; "" when
    // nothing is amiss.
    std::string uncopyable;
    // Why the page is shown only as libtiff could read it, in libtiff's words: it
    // mended where the data lies as it read the directory (byte counts estimated,
    // missing strips), or warned or failed on part of the data as it was decoded; ""
    // while no damage is known. A document adds what decoding finds.
    std::string damage;

    bool IsBilevel() const { return bitsPerSample == 1 && samplesPerPixel == 1; }
    // The bytes its pixels take decoded: the engine keeps them in the page's own
    // depth, a bilevel page at one bit a pixel.
    uint64_t DecodedBytes() const {
        return uint64_t{RowBytes(width, size_t{bitsPerSample} * samplesPerPixel)} * height;
    }
};

// Decodes the page libtiff is positioned on, for a compression libtiff itself
// cannot decode.
using CustomPageDecoder = Raster (*)(TIFF* tif, const PageInfo& info);

// What the engine knows about a TIFF Compression value.
struct CompressionScheme {
    uint16_t number = 0;
    // "None", "CCITT G4", "BLC", "MDI compression 34719", "compression 12345".
    std::string name;
    // Our own decoder for it, or null when libtiff decodes it (or nothing does).
    CustomPageDecoder decoder = nullptr;
    // Whether its pages can be decoded here (libtiff's codec or our decoder).
    bool decodable = false;
};

CompressionScheme LookUpCompression(uint16_t number);

// "BLC compression (34718) is not supported", for messages.
std::string UnsupportedCompressionText(const CompressionScheme& scheme);

// "this kind of page is not supported (libtiff's reason)", for a colour model or
// layout that nothing here decodes.
std::string UnsupportedLayoutText(const std::string& why);

// Why a page that is not decodable cannot be decoded, for messages: the reason
// its directory gave, or else what its compression says.
std::string UndecodableText(const PageInfo& info);

// "it cannot be decoded: " and UndecodableText: what a writer says of a page that
// is not decodable.
std::string UndecodableReason(const PageInfo& info);

// The least number of stored (compressed) bytes that can make a page of
// `decodedBytes` with its compression, by a generous bound on what each scheme
// can compress; 0 when there is no useful bound. Lets a page claiming to be huge
// with a few bytes of data be refused before its pixels are allocated.
double LeastStoredBytes(const PageInfo& info, uint32_t storedHeight, double decodedBytes);

// Why `storedBytes` of data (of `storedHeight` rows) cannot make the page's pixels,
// by LeastStoredBytes ("the page's image data is far too short for its size
// (...)"); empty when they may.
std::string ShortDataReason(const PageInfo& info, uint64_t storedBytes, uint32_t storedHeight);

// Why the data of the page whose directory starts at `directory` must be decoded
// rather than copied as stored, from what the directory holds in the file (before
// libtiff estimates missing byte counts or pads missing strips); "" when it may be.
std::string StoredLayoutFault(const TiffFile& file, uint64_t directory, TIFF* tif,
                              const PageInfo& info);

// "a palette page without a colour map: its colours cannot be known".
std::string MissingColourMapText();

// The sum of the page's strip or tile byte counts as its directory gives them.
uint64_t StoredBytes(TIFF* tif);

// Why the page libtiff is positioned on cannot be decoded, or nothing: the decoder's
// own judgement, handed in by whoever reads a directory for decoding.
using UndecodableCheck = std::string (*)(TIFF* tif, const PageInfo& info);

// Reads the page libtiff is positioned on into a PageInfo, asking `whyUndecodable`
// (when given) whether its pixels can be decoded.
PageInfo ReadPageInfo(TIFF* tif, UndecodableCheck whyUndecodable = nullptr);

// One page of a file: where its directory is, and what it says.
struct PageEntry {
    uint64_t offset = 0;
    PageInfo info;
};

// Walks the file's page chain once, from the first page (where a freshly opened
// file stands). A chain that breaks after the first page (it loops, or a
// directory lies past the end or cannot be read) keeps the pages read before the
// break and ends with one more entry, at offset 0, whose `chainBreak` says why
// the rest cannot be read. Raises folio::Error naming the file for more than
// `maxPages` pages.
std::vector<PageEntry> ReadPageDirectory(TiffFile& file, int maxPages = kMaxPages,
                                         UndecodableCheck whyUndecodable = nullptr);

// "the rest of the document cannot be read: REASON", for the page where the chain
// breaks.
std::string ChainBreakReason(const PageInfo& info);

}  // namespace folio::engine
