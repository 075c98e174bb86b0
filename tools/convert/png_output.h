#pragma once

#include <string>

#include "engine/image/raster.h"

namespace folio::convert {

// Writes `image` as a PNG file at `path`, whole or not at all (a temporary file
// beside it renamed into place); raises folio::Error naming the file.
void WritePng(const engine::RenderedImage& image, const std::string& path);

}  // namespace folio::convert
