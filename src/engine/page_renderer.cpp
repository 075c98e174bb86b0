#include "engine/page_renderer.h"

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/area_resampler.h"
#include "engine/engine_limits.h"
#include "engine/image_turn.h"

namespace folio::engine {

RenderedImage RenderRegion(const Raster& raster, const RenderGeometry& geometry,
                           const PixelRect& region) {
    if (region.width <= 0 || region.height <= 0) {
        throw Error(errors::kInvalidProcedureCall, "Cannot render an empty area (" +
                                                       std::to_string(region.width) + " x " +
                                                       std::to_string(region.height) + " pixels)");
    }
    if (static_cast<int64_t>(region.width) * region.height > kMaxRenderPixels) {
        throw Error(errors::kOutOfMemory, "Cannot render an area of " +
                                              std::to_string(region.width) + " x " +
                                              std::to_string(region.height) + " pixels at once");
    }
    // The same area on the page before its turn: an axis-aligned rectangle in the
    // scaled, unturned page, which is resampled and then turned.
    const double width = raster.width * geometry.scaleX;
    const double height = raster.height * geometry.scaleY;
    const double x = region.x;
    const double y = region.y;
    const double w = region.width;
    const double h = region.height;
    ResampleGrid grid;
    grid.scaleX = geometry.scaleX;
    grid.scaleY = geometry.scaleY;
    const bool odd = geometry.quarterTurns % 2 == 1;
    grid.width = odd ? region.height : region.width;
    grid.height = odd ? region.width : region.height;
    switch (geometry.quarterTurns) {
        case 1:
            grid.originX = y, grid.originY = height - x - w;
            break;
        case 2:
            grid.originX = width - x - w, grid.originY = height - y - h;
            break;
        case 3:
            grid.originX = width - y - h, grid.originY = x;
            break;
        default:
            grid.originX = x, grid.originY = y;
            break;
    }
    return TurnImage(ResampleArea(raster, grid), geometry.quarterTurns);
}

}  // namespace folio::engine
