#pragma once

#include <cstdint>

#include "engine/page_info.h"

typedef struct tiff TIFF;

namespace folio::engine {

// The least number of stored (compressed) bytes that can make a page of
// `decodedBytes` with its compression, by a generous bound on what each scheme
// can compress; 0 when there is no useful bound. Lets a page claiming to be huge
// with a few bytes of data be refused before its pixels are allocated.
double LeastStoredBytes(const PageInfo& info, uint32_t storedHeight, double decodedBytes);

// The sum of the page's strip or tile byte counts as its directory gives them.
uint64_t StoredBytes(TIFF* tif);

}  // namespace folio::engine
