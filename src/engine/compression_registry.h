#pragma once

#include <cstdint>
#include <string>

#include "engine/raster.h"

typedef struct tiff TIFF;

namespace folio::engine {

struct PageInfo;

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

}  // namespace folio::engine
