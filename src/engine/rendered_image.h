#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace folio::engine {

// Pixels ready for the screen, a PNG file or a printer: 8-bit gray, or 32-bit
// 0xAARRGGBB words (QImage::Format_ARGB32 layout; alpha is 255 except where the
// page itself is transparent).
struct RenderedImage {
    enum class Format { Gray8, Argb32 };

    Format format = Format::Gray8;
    int width = 0;
    int height = 0;
    size_t stride = 0;  // bytes per row
    std::vector<uint8_t> pixels;
};

}  // namespace folio::engine
