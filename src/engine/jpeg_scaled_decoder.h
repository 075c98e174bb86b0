#pragma once

#include <optional>
#include <string>

#include "engine/page_info.h"
#include "engine/raster.h"

namespace folio::engine {

class TiffFile;

// A JPEG-compressed page decoded at 1/`denominator` (2, 4 or 8) of its size by
// libjpeg's scaled DCT, from the page's raw strips and its JPEG tables: far quicker
// than decoding every pixel to average most of them away. The current directory of
// `file` is the page's. Gives nothing for a layout this cannot place exactly (tiles,
// planes, other depths, strips whose height the denominator does not divide); the
// caller then decodes in full. Raises folio::Error, naming `where`, for damaged data.
std::optional<Raster> DecodeJpegScaled(TiffFile& file, const PageInfo& info, int denominator,
                                       const std::string& where);

}  // namespace folio::engine
