#include "engine/sample_repacker.h"

#include <cstring>

namespace folio::engine {
namespace {

inline uint32_t ReadSample(const uint8_t* row, size_t index, uint16_t bits) {
    if (bits == 8) {
        return row[index];
    }
    if (bits == 16) {
        uint16_t v;
        std::memcpy(&v, row + 2 * index, 2);
        return v;
    }
    // Odd depths: most significant bit first, possibly across byte boundaries.
    size_t bit = index * bits;
    uint32_t v = 0;
    for (uint16_t k = 0; k < bits; ++k, ++bit) {
        v = (v << 1) | ((row[bit / 8] >> (7 - bit % 8)) & 1u);
    }
    return v;
}

}  // namespace

void RepackPlane(const uint8_t* plane, size_t stride, const SampleRepack& repack, Raster& raster) {
    const uint32_t inMax = (1u << repack.bits) - 1u;
    const uint32_t outBits = raster.bitsPerSample;
    const uint32_t outMax = (1u << outBits) - 1u;
    const uint32_t signBit = 1u << (repack.bits - 1);
    for (uint32_t y = 0; y < raster.height; ++y) {
        const uint8_t* from = plane + y * stride;
        uint8_t* to = raster.data.data() + y * raster.stride;
        for (uint32_t x = 0; x < raster.width; ++x) {
            for (uint16_t s = 0; s < repack.samplesInPlane; ++s) {
                uint32_t v = ReadSample(from, static_cast<size_t>(x) * repack.samplesInPlane + s,
                                        repack.bits);
                if (repack.isSigned) {
                    v ^= signBit;  // -2^(n-1)..2^(n-1)-1 becomes 0..2^n-1
                }
                if (repack.scale && repack.bits != outBits) {
                    v = (v * outMax + inMax / 2) / inMax;
                }
                const size_t index =
                    static_cast<size_t>(x) * raster.samplesPerPixel + repack.firstSample + s;
                if (outBits == 16) {
                    const auto w = static_cast<uint16_t>(v);
                    std::memcpy(to + 2 * index, &w, 2);
                } else {
                    to[index] = static_cast<uint8_t>(v);
                }
            }
        }
    }
}

}  // namespace folio::engine
