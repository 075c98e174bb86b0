#pragma once

#include "engine/page_info.h"

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

}  // namespace folio::engine
