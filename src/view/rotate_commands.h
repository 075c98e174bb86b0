#pragma once

#include <cstdint>
#include <vector>

#include "imaging/document.h"

namespace folio::view {

// The angles of the three rotation commands, in degrees, clockwise when positive.
inline constexpr int32_t kRotateClockwise = 90;
inline constexpr int32_t kRotateAnticlockwise = -90;
inline constexpr int32_t kRotateHalfTurn = 180;

// A page flag list with every page of `document` marked (-1); empty for a document
// without pages.
std::vector<int32_t> EveryPageMarked(imaging::Document& document);

// Turns by `angle` each page whose flag is -1, in page order: the page collection is
// taken anew for every page, and each page gets exactly one Rotate call with the whole
// angle. A failure ends the turning there; the pages before it stay turned.
void RotatePages(imaging::Document& document, const int32_t& angle,
                 const std::vector<int32_t>& pages);

}  // namespace folio::view
