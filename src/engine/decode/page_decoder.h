#pragma once

// Decoding one page into a Raster in its own depth: planes of strips or tiles read
// through libtiff, samples repacked into rasters, and libtiff's RGBA conversion
// for colour models kept as nothing else.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/image/raster.h"
#include "engine/tiff/page_directory.h"

typedef struct tiff TIFF;

namespace folio::engine {

class TiffFile;

// Why DecodePage cannot produce the pixels of the page libtiff stands on (its
// compression or its colour model and layout), in the words DecodePage raises;
// empty when it can (its data may still turn out damaged).
std::string WhyUndecodable(TIFF* tif, const PageInfo& info);

// Decodes the page `file` stands on (its directory already set) into a Raster in
// the page's own depth, upright. `where` names file and page in messages ("scan.mdi,
// page 3"). Raises folio::Error for an unsupported compression or layout, damaged
// data, or a page that would need more than `maxBytes` once decoded.
Raster DecodePage(TiffFile& file, const PageInfo& info, const std::string& where, size_t maxBytes);

// What libtiff said while a page decoded without failing, as the damage it found in
// the page's data (PageInfo::damage): its first error or warning, or "" for none.
// Call with the file's messages from just before DecodePage.
std::string DecodeDamage(const std::vector<std::string>& messages);

// Reads every strip or tile of one sample plane (plane 0 of a chunky page holds
// all samples) of the page libtiff stands on into `out`: `height` rows of
// `rowBytes`, as stored. `pixelBits` is the bits per pixel within the plane; a
// tiled page needs tiles whose width makes whole bytes. A strip or tile libtiff
// cannot read is left as zeros, so that the rest of the page is still shown, and
// libtiff's message stays in the file's messages. Returns false when none of them
// can be read (the message is in the file's error) or a tile is implausibly large.
bool ReadPlane(TIFF* tif, uint16_t plane, uint32_t height, size_t rowBytes, uint16_t pixelBits,
               uint8_t* out);

// Whether ReadPlane can place this page's tiles (tile width times pixel bits is
// whole bytes).
bool TilesAreByteAligned(TIFF* tif, uint16_t pixelBits);

// How samples stored in a plane are to be placed in a raster.
struct SampleRepack {
    uint16_t bits = 8;            // as stored, 1 to 16
    uint16_t samplesInPlane = 1;  // all of them for a chunky page, 1 for a planar one
    uint16_t firstSample = 0;     // where the plane's samples go within a raster pixel
    bool isSigned = false;        // two's complement samples, shown offset by half the range
    bool scale = true;            // stretch to the raster's depth (not for palette indexes)
};

// Copies a plane of packed samples (`stride` bytes per row) into `raster` at its
// own depth (8 or 16 bits per sample), interleaving planes and widening odd depths
// such as 12-bit gray.
void RepackPlane(const uint8_t* plane, size_t stride, const SampleRepack& repack, Raster& raster);

// Decodes a page in a model we do not keep as is (LogLuv, CIE Lab, odd depths,
// subsampled YCbCr without JPEG, ...) through libtiff's RGBA conversion: 8-bit RGB,
// or RGBA with premultiplied alpha when the page has alpha. Rows come in the
// page's stored order (its Orientation not yet applied). Raises folio::Error as
// DecodePage does.
Raster DecodeThroughRgba(TiffFile& file, uint32_t storedWidth, uint32_t storedHeight,
                         const PageInfo& info, const std::string& where, size_t maxBytes);

}  // namespace folio::engine
