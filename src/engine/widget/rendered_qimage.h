#pragma once

#include <QImage>

#include "engine/raster.h"

namespace folio::viewer {

// A copy of the engine's pixels as a QImage (8-bit gray or ARGB32); raises
// folio::Error when the pixels do not fill the stated size.
QImage ToQImage(const engine::RenderedImage& rendered);

}  // namespace folio::viewer
