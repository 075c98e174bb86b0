#pragma once

#include <span>
#include <string_view>
#include <utility>

namespace folio::resources {

// The application icon, built into the program. Each entry is a pixel size and the
// file's bytes: size 0 is the scalable SVG, the others are square PNGs, smallest
// first (16, 22, 24, 32, 48, 64, 128, 256).
std::span<const std::pair<int, std::string_view>> ApplicationIconFiles();

// The PNG of the given size, or an empty view when there is none of that size.
std::string_view ApplicationIconPng(int size);

// The SVG.
std::string_view ApplicationIconSvg();

// The Windows-style icon file: 16 and 32 pixels at 16 colours, 16, 32 and 48 at 256
// colours and at 24-bit colour.
std::string_view ApplicationIconIco();

}  // namespace folio::resources
