#pragma once

#include "engine/engine_document.h"
#include "engine/raster.h"
#include "engine/render_geometry.h"
#include "engine/rendered_image.h"

namespace folio::engine {

// Renders `region` of a page as shown (turned, scaled as `geometry` says), in
// device pixels of the shown page. Only the region is produced; parts of it
// beyond the page are white. Raises folio::Error for an empty or oversized
// region.
RenderedImage RenderRegion(const Raster& raster, const RenderGeometry& geometry,
                           const PixelRect& region);

}  // namespace folio::engine
