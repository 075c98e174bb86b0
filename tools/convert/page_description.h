#pragma once

#include <string>

#include "engine/tiff/page_directory.h"

namespace folio::convert {

// The colour model's name: "MinIsWhite", "MinIsBlack", "RGB", "Palette", "CMYK",
// "YCbCr", ... or "photometric N" for one we have no name for.
std::string PhotometricName(uint16_t photometric);

// One line of `info` output for a page (1-based `number`).
std::string DescribePage(int number, const engine::PageInfo& info);

}  // namespace folio::convert
