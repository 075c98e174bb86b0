#include "engine/orientation.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/raster_rotation.h"

namespace folio::engine {
namespace {

// Copies one pixel of `bits` bits (1, 2, 4, or a multiple of 8).
inline void CopyPixel(const uint8_t* from, size_t fromIndex, uint8_t* to, size_t toIndex,
                      unsigned bits) {
    if (bits % 8 == 0) {
        const size_t n = bits / 8;
        std::memcpy(to + toIndex * n, from + fromIndex * n, n);
        return;
    }
    const size_t fromBit = fromIndex * bits;
    const size_t toBit = toIndex * bits;
    const unsigned mask = (1u << bits) - 1u;
    const unsigned fromShift = 8 - bits - static_cast<unsigned>(fromBit % 8);
    const unsigned toShift = 8 - bits - static_cast<unsigned>(toBit % 8);
    const unsigned value = (from[fromBit / 8] >> fromShift) & mask;
    uint8_t& target = to[toBit / 8];
    target = static_cast<uint8_t>((target & ~(mask << toShift)) | (value << toShift));
}

}  // namespace

void ApplyOrientation(Raster& raster, uint16_t orientation) {
    if (orientation <= 1 || orientation > 8 || raster.width == 0 || raster.height == 0) {
        return;
    }
    const uint32_t w = raster.width;
    const uint32_t h = raster.height;
    const unsigned bits = static_cast<unsigned>(raster.bitsPerSample) * raster.samplesPerPixel;
    if (orientation == 4) {  // bottom-left: the rows are upside down
        for (uint32_t y = 0; y < h / 2; ++y) {
            uint8_t* a = raster.data.data() + y * raster.stride;
            uint8_t* b = raster.data.data() + (h - 1 - y) * raster.stride;
            std::swap_ranges(a, a + raster.stride, b);
        }
        return;
    }
    if (orientation == 3 || orientation == 6 || orientation == 8) {  // plain clockwise turns
        raster = RotateRaster(raster, orientation == 3 ? 2 : orientation == 6 ? 1 : 3);
        return;
    }
    // The mirrored ones (2, 5 and 7), pixel by pixel.
    const bool transposed = orientation >= 5;
    const uint32_t outW = transposed ? h : w;
    const uint32_t outH = transposed ? w : h;
    const size_t outStride = (static_cast<size_t>(outW) * bits + 7) / 8;
    std::vector<uint8_t> out(outStride * outH, 0);
    for (uint32_t dy = 0; dy < outH; ++dy) {
        uint8_t* outRow = out.data() + dy * outStride;
        for (uint32_t dx = 0; dx < outW; ++dx) {
            uint32_t sx = dx;
            uint32_t sy = dy;
            switch (orientation) {
                case 2:
                    sx = w - 1 - dx;
                    break;
                case 5:
                    sx = dy, sy = dx;
                    break;
                case 7:
                    sx = w - 1 - dy, sy = h - 1 - dx;
                    break;
                default:
                    break;
            }
            CopyPixel(raster.data.data() + sy * raster.stride, sx, outRow, dx, bits);
        }
    }
    raster.width = outW;
    raster.height = outH;
    raster.stride = outStride;
    raster.data = std::move(out);
}

}  // namespace folio::engine
