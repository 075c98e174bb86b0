#include "engine/raster_header.h"

namespace folio::engine {

Raster RasterHeader(const Raster& source) {
    Raster header;
    header.width = source.width;
    header.height = source.height;
    header.bitsPerSample = source.bitsPerSample;
    header.samplesPerPixel = source.samplesPerPixel;
    header.photometric = source.photometric;
    header.extraSamples = source.extraSamples;
    header.associatedAlpha = source.associatedAlpha;
    header.hasAlpha = source.hasAlpha;
    header.colorMap = source.colorMap;
    header.stride = source.stride;
    return header;
}

}  // namespace folio::engine
