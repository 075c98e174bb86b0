#pragma once

#include <cstdint>
#include <string>

namespace folio::engine {

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
    // Whether the engine can produce this page's pixels.
    bool decodable = true;
    uint16_t sampleFormat = 1;  // 1 unsigned, 2 signed, 3 floating point
    // X resolution over Y resolution; kept for pages whose resolution tags have no
    // unit (xDpi and yDpi are then 0) so their pixels keep their shape.
    double pixelAspect = 1.0;

    bool IsBilevel() const { return bitsPerSample == 1 && samplesPerPixel == 1; }
};

}  // namespace folio::engine
