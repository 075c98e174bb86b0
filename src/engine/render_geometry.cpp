#include "engine/render_geometry.h"

namespace folio::engine {

namespace {

void SetShownSize(const PageInfo& info, RenderGeometry& g) {
    const double width = info.width * g.scaleX;
    const double height = info.height * g.scaleY;
    const bool odd = g.quarterTurns % 2 == 1;
    g.shownWidth = odd ? height : width;
    g.shownHeight = odd ? width : height;
}

int NormalTurns(int quarterTurns) {
    return ((quarterTurns % 4) + 4) % 4;
}

}  // namespace

RenderGeometry ScaleGeometry(const PageInfo& info, int quarterTurns, double scale) {
    RenderGeometry g;
    g.quarterTurns = NormalTurns(quarterTurns);
    g.scaleX = scale;
    g.scaleY = scale;
    SetShownSize(info, g);
    return g;
}

RenderGeometry ComputeGeometry(const PageInfo& info, int quarterTurns, double zoomX, double zoomY,
                               double dpiX, double dpiY) {
    RenderGeometry g;
    g.quarterTurns = NormalTurns(quarterTurns);
    const bool odd = g.quarterTurns % 2 == 1;
    // The screen axis along which the image's rows, and its columns, are shown.
    const double rowZoom = odd ? zoomY : zoomX;
    const double columnZoom = odd ? zoomX : zoomY;
    const double rowDpi = odd ? dpiY : dpiX;
    const double columnDpi = odd ? dpiX : dpiY;
    if (info.xDpi > 0.0 && info.yDpi > 0.0) {
        g.scaleX = rowZoom * rowDpi / info.xDpi;
        g.scaleY = columnZoom * columnDpi / info.yDpi;
    } else {
        g.scaleX = rowZoom;
        g.scaleY = columnZoom * (info.pixelAspect > 0.0 ? info.pixelAspect : 1.0);
    }
    SetShownSize(info, g);
    return g;
}

}  // namespace folio::engine
