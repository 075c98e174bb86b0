#pragma once

#include <cstdint>
#include <string>

#include "support/tiff_fixture.h"

namespace folio::viewer::testing {

// A bilevel page that looks like scanned text: a heading bar and rows of word-sized
// black blocks on white, varied by `seed`.
engine::testing::TestPage TextLikePage(uint32_t width, uint32_t height, double dpi, uint32_t seed);

// A bilevel page of alternating one-pixel black and white rows, black first.
engine::testing::TestPage StripedPage(uint32_t width, uint32_t height, double dpi);

// An 8-bit gray page, white with a black square at (x, y).
engine::testing::TestPage SquarePage(uint32_t width, uint32_t height, double dpi, uint32_t x,
                                     uint32_t y, uint32_t side);

// Writes `pages` text-like pages (CCITT G4) of the given size and resolution.
void WriteTextDocument(const std::string& path, int pages, uint32_t width, uint32_t height,
                       double dpi);

}  // namespace folio::viewer::testing
