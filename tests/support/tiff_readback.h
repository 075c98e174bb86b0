#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/image/raster.h"

namespace folio::engine::testing {

// One page of a TIFF file as libtiff reads it back.
struct ReadBackPage {
    uint64_t directoryOffset = 0;
    uint16_t compression = 0;
    uint16_t orientation = 1;
    bool tiled = false;
    bool hasResolution = false;
    uint16_t resolutionUnit = 2;
    float xResolution = 0;
    float yResolution = 0;
    Raster pixels;  // decoded; left empty (0 x 0) for tiled or planar pages
    std::vector<std::vector<uint8_t>> rawChunks;  // compressed strips or tiles
};

// Reads every page of the (TIFF or .mdi) file at `path`; throws std::runtime_error
// when libtiff cannot.
std::vector<ReadBackPage> ReadBack(const std::string& path);

}  // namespace folio::engine::testing
