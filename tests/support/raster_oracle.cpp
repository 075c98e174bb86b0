#include "support/raster_oracle.h"

#include <cstring>

namespace folio::engine::testing {
namespace {

size_t BitOffset(const Raster& r, uint32_t x, uint32_t y, uint16_t channel) {
    return y * r.stride * 8 + (size_t{x} * r.samplesPerPixel + channel) * r.bitsPerSample;
}

void SetSample(Raster& r, uint32_t x, uint32_t y, uint16_t channel, uint32_t value) {
    const size_t at = BitOffset(r, x, y, channel);
    if (r.bitsPerSample == 16) {
        const uint16_t v = static_cast<uint16_t>(value);
        std::memcpy(r.data.data() + at / 8, &v, 2);
        return;
    }
    for (uint16_t b = 0; b < r.bitsPerSample; ++b) {
        const size_t bit = at + b;
        const uint8_t mask = static_cast<uint8_t>(0x80u >> (bit % 8));
        if ((value >> (r.bitsPerSample - 1 - b)) & 1u) {
            r.data[bit / 8] |= mask;
        } else {
            r.data[bit / 8] &= static_cast<uint8_t>(~mask);
        }
    }
}

}  // namespace

uint32_t RasterSample(const Raster& r, uint32_t x, uint32_t y, uint16_t channel) {
    const size_t at = BitOffset(r, x, y, channel);
    if (r.bitsPerSample == 16) {
        uint16_t v = 0;
        std::memcpy(&v, r.data.data() + at / 8, 2);
        return v;
    }
    uint32_t value = 0;
    for (uint16_t b = 0; b < r.bitsPerSample; ++b) {
        const size_t bit = at + b;
        value = (value << 1) | ((r.data[bit / 8] >> (7 - bit % 8)) & 1u);
    }
    return value;
}

Raster RasterFromTestPage(const TestPage& layout) {
    Raster r;
    r.width = layout.width;
    r.height = layout.height;
    r.bitsPerSample = layout.bitsPerSample;
    r.samplesPerPixel = layout.samplesPerPixel;
    r.photometric = layout.photometric;
    r.extraSamples = layout.extraSamples;
    r.associatedAlpha = layout.extraSamples > 0 && layout.extraSampleKind == 1;
    r.hasAlpha =
        layout.extraSamples > 0 && (layout.extraSampleKind == 1 || layout.extraSampleKind == 2);
    r.colorMap = layout.colorMap;
    r.stride = layout.RowBytes();
    r.data.assign(layout.pixels.begin(), layout.pixels.end());
    return r;
}

Raster ReferenceRotate(const Raster& src, int quarterTurns) {
    const int turns = ((quarterTurns % 4) + 4) % 4;
    Raster out = src;
    const bool swap = turns % 2 == 1;
    out.width = swap ? src.height : src.width;
    out.height = swap ? src.width : src.height;
    out.stride = (size_t{out.width} * src.bitsPerSample * src.samplesPerPixel + 7) / 8;
    out.data.assign(out.stride * out.height, 0);
    for (uint32_t y = 0; y < src.height; ++y) {
        for (uint32_t x = 0; x < src.width; ++x) {
            uint32_t dx = x;
            uint32_t dy = y;
            if (turns == 1) {
                dx = src.height - 1 - y;
                dy = x;
            } else if (turns == 2) {
                dx = src.width - 1 - x;
                dy = src.height - 1 - y;
            } else if (turns == 3) {
                dx = y;
                dy = src.width - 1 - x;
            }
            for (uint16_t c = 0; c < src.samplesPerPixel; ++c) {
                SetSample(out, dx, dy, c, RasterSample(src, x, y, c));
            }
        }
    }
    return out;
}

bool SamePixels(const Raster& a, const Raster& b) {
    if (a.width != b.width || a.height != b.height || a.bitsPerSample != b.bitsPerSample ||
        a.samplesPerPixel != b.samplesPerPixel || a.photometric != b.photometric ||
        a.extraSamples != b.extraSamples || a.associatedAlpha != b.associatedAlpha ||
        a.hasAlpha != b.hasAlpha || a.colorMap != b.colorMap) {
        return false;
    }
    const size_t rowBytes = (size_t{a.width} * a.bitsPerSample * a.samplesPerPixel + 7) / 8;
    for (const Raster* r : {&a, &b}) {
        if (r->height > 0 && r->data.size() < r->stride * (r->height - 1) + rowBytes) {
            return false;
        }
    }
    for (uint32_t y = 0; y < a.height; ++y) {
        for (uint32_t x = 0; x < a.width; ++x) {
            for (uint16_t c = 0; c < a.samplesPerPixel; ++c) {
                if (RasterSample(a, x, y, c) != RasterSample(b, x, y, c)) {
                    return false;
                }
            }
        }
    }
    return true;
}

}  // namespace folio::engine::testing
