#pragma once

// Rendering a region of a page as shown: the geometry of a page at a zoom, the
// resampled and rotated region, and JPEG pages decoded small by libjpeg's scaled
// DCT.

#include <optional>
#include <string>

#include "engine/image/raster.h"
#include "engine/tiff/page_directory.h"

namespace folio::engine {

// How a page's pixels map to the screen at a zoom: the scale along each of the
// page's own axes (output pixels per image pixel), and the page's size as shown,
// after its turn.
struct RenderGeometry {
    double scaleX = 1.0;  // along the image's rows, before the turn
    double scaleY = 1.0;  // along the image's columns, before the turn
    double shownWidth = 0.0;
    double shownHeight = 0.0;
    int quarterTurns = 0;  // clockwise, 0 to 3
};

// At zoom 1.0 a page shows at its physical size on a screen of logical DPI
// (dpiX, dpiY); a page without resolution shows one image pixel per
// device-independent pixel (its pixel shape still kept). After an odd number of
// quarter turns the image's rows run down the screen, so its X resolution meets
// the screen's Y axis.
RenderGeometry ComputeGeometry(const PageInfo& info, int quarterTurns, double zoomX, double zoomY,
                               double dpiX, double dpiY);

// `scale` output pixels per image pixel along both of the page's axes.
RenderGeometry ScaleGeometry(const PageInfo& info, int quarterTurns, double scale);

// Renders `region` of a page as shown (turned, scaled as `geometry` says), in
// device pixels of the shown page. Only the region is produced; parts of it
// beyond the page are white. Raises folio::Error for an empty or oversized
// region.
RenderedImage RenderRegion(const Raster& raster, const RenderGeometry& geometry,
                           const PixelRect& region);

class TiffFile;

// A JPEG-compressed page decoded at 1/`denominator` (2, 4 or 8) of its size by
// libjpeg's scaled DCT, from the page's raw strips or tiles and its JPEG tables: far
// quicker than decoding every pixel to average most of them away. The strips or
// tiles are decoded side by side on the machine's cores. The current directory of
// `file` is the page's. Gives nothing for a layout this cannot place exactly
// (planes, other depths, strips or tiles the denominator does not divide); the
// caller then decodes in full. Raises folio::Error, naming `where`, for damaged data.
std::optional<Raster> DecodeJpegScaled(TiffFile& file, const PageInfo& info, int denominator,
                                       const std::string& where);

}  // namespace folio::engine
