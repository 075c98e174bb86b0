#pragma once

#include "engine/page_info.h"

typedef struct tiff TIFF;

namespace folio::engine {

// Reads the page libtiff is positioned on into a PageInfo.
PageInfo ReadPageInfo(TIFF* tif);

}  // namespace folio::engine
