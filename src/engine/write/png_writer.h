#pragma once

// A rendered page as a PNG file.

#include <string>

#include "engine/image/raster.h"

namespace folio::engine {

// Writes `image` as a PNG file at `path`, whole or not at all (a temporary file
// beside it renamed into place): 8-bit gray, RGB, or RGB with alpha where the page
// has any that is not opaque. Raises folio::Error naming the file.
void WritePng(const RenderedImage& image, const std::string& path);

}  // namespace folio::engine
