#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/page_info.h"
#include "engine/raster.h"

namespace folio::engine {

class TiffFile;

// Decodes a page in a model we do not keep as is (LogLuv, CIE Lab, odd depths,
// subsampled YCbCr without JPEG, ...) through libtiff's RGBA conversion: 8-bit RGB,
// or RGBA with premultiplied alpha when the page has alpha. Rows come in the
// page's stored order (its Orientation not yet applied). Raises folio::Error as
// DecodePage does.
Raster DecodeThroughRgba(TiffFile& file, uint32_t storedWidth, uint32_t storedHeight,
                         const PageInfo& info, const std::string& where, size_t maxBytes);

}  // namespace folio::engine
