#include "engine/row_unpacker.h"

#include <cstring>

namespace folio::engine {
namespace {

constexpr uint16_t kMinIsWhite = 0;
constexpr uint16_t kMinIsBlack = 1;
constexpr uint16_t kRgb = 2;
constexpr uint16_t kPalette = 3;
constexpr uint16_t kSeparated = 5;

}  // namespace

RowUnpacker::RowUnpacker(const Raster& raster) : raster_(raster) {
    gray_ = (raster.photometric == kMinIsWhite || raster.photometric == kMinIsBlack) &&
            raster.samplesPerPixel == 1;
    alpha_ = !gray_ && raster.hasAlpha && raster.extraSamples > 0;
    const uint16_t bits = raster.bitsPerSample;
    if (bits <= 8) {
        const unsigned max = (1u << bits) - 1u;
        for (unsigned v = 0; v <= max; ++v) {
            const float level = static_cast<float>(v) * 255.0f / static_cast<float>(max);
            levels_[v] = raster.photometric == kMinIsWhite ? 255.0f - level : level;
        }
    }
    if (gray_ && bits == 1) {
        byteLevels_.resize(256);
        for (unsigned byte = 0; byte < 256; ++byte) {
            for (unsigned b = 0; b < 8; ++b) {
                byteLevels_[byte][b] = levels_[(byte >> (7 - b)) & 1u];
            }
        }
    }
    if (raster.photometric == kPalette && bits <= 8) {
        const size_t n = size_t{1} << bits;
        for (size_t i = 0; i < n && raster.colorMap.size() >= 3 * n; ++i) {
            for (size_t c = 0; c < 3; ++c) {
                palette_[c][i] = static_cast<float>(raster.colorMap[c * n + i]) / 257.0f;
            }
        }
    }
}

float RowUnpacker::Sample(const uint8_t* row, uint32_t x, uint16_t channel) const {
    const size_t index = static_cast<size_t>(x) * raster_.samplesPerPixel + channel;
    switch (raster_.bitsPerSample) {
        case 8:
            return row[index];
        case 16: {
            uint16_t v;
            std::memcpy(&v, row + index * 2, 2);
            return static_cast<float>(v) / 257.0f;
        }
        default: {
            const unsigned bits = raster_.bitsPerSample;
            const size_t bit = index * bits;
            const unsigned v = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1u);
            return static_cast<float>(v);  // a raw value: callers map it through a table
        }
    }
}

void RowUnpacker::Unpack(uint32_t y, uint32_t x0, uint32_t x1, float* out) const {
    const uint8_t* row = raster_.data.data() + static_cast<size_t>(y) * raster_.stride;
    if (gray_) {
        UnpackGray(row, x0, x1, out);
    } else {
        UnpackColour(row, x0, x1, out);
    }
}

void RowUnpacker::Accumulate(uint32_t y, uint32_t x0, uint32_t x1, float weight, float* sums,
                             float* scratch) const {
    if (!byteLevels_.empty()) {
        // Bilevel: whole bytes at a time straight from the packed row.
        const uint8_t* row = raster_.data.data() + static_cast<size_t>(y) * raster_.stride;
        uint32_t x = x0;
        for (; x < x1 && x % 8 != 0; ++x) {
            *sums++ += weight * levels_[(row[x / 8] >> (7 - x % 8)) & 1u];
        }
        for (; x + 8 <= x1; x += 8, sums += 8) {
            const float* levels = byteLevels_[row[x / 8]].data();
            for (int b = 0; b < 8; ++b) {
                sums[b] += weight * levels[b];
            }
        }
        for (; x < x1; ++x) {
            *sums++ += weight * levels_[(row[x / 8] >> (7 - x % 8)) & 1u];
        }
        return;
    }
    const uint8_t* row = raster_.data.data() + static_cast<size_t>(y) * raster_.stride;
    if (raster_.bitsPerSample == 8 && gray_) {
        for (uint32_t x = x0; x < x1; ++x) {
            *sums++ += weight * levels_[row[x]];
        }
        return;
    }
    if (raster_.bitsPerSample == 8 && raster_.photometric == kRgb && !raster_.hasAlpha) {
        // Opaque 8-bit colour, the common scanned page: straight from the row.
        const size_t step = raster_.samplesPerPixel;
        const uint8_t* p = row + static_cast<size_t>(x0) * step;
        for (uint32_t x = x0; x < x1; ++x, p += step, sums += 3) {
            sums[0] += weight * p[0];
            sums[1] += weight * p[1];
            sums[2] += weight * p[2];
        }
        return;
    }
    Unpack(y, x0, x1, scratch);
    const size_t n = static_cast<size_t>(x1 - x0) * static_cast<size_t>(Channels());
    for (size_t i = 0; i < n; ++i) {
        sums[i] += weight * scratch[i];
    }
}

void RowUnpacker::UnpackGray(const uint8_t* row, uint32_t x0, uint32_t x1, float* out) const {
    const uint16_t bits = raster_.bitsPerSample;
    if (bits == 1) {
        const float zero = levels_[0];
        const float one = levels_[1];
        uint32_t x = x0;
        for (; x < x1 && x % 8 != 0; ++x) {
            *out++ = (row[x / 8] >> (7 - x % 8)) & 1u ? one : zero;
        }
        for (; x + 8 <= x1; x += 8) {
            const uint8_t byte = row[x / 8];
            for (int b = 7; b >= 0; --b) {
                *out++ = (byte >> b) & 1u ? one : zero;
            }
        }
        for (; x < x1; ++x) {
            *out++ = (row[x / 8] >> (7 - x % 8)) & 1u ? one : zero;
        }
        return;
    }
    if (bits == 8) {
        for (uint32_t x = x0; x < x1; ++x) {
            *out++ = levels_[row[x]];
        }
        return;
    }
    for (uint32_t x = x0; x < x1; ++x) {
        const float v = Sample(row, x, 0);
        if (bits == 16) {
            *out++ = raster_.photometric == kMinIsWhite ? 255.0f - v : v;
        } else {
            *out++ = levels_[static_cast<unsigned>(v)];
        }
    }
}

void RowUnpacker::UnpackColour(const uint8_t* row, uint32_t x0, uint32_t x1, float* out) const {
    const uint16_t colour = static_cast<uint16_t>(raster_.samplesPerPixel - raster_.extraSamples);
    const size_t channels = alpha_ ? 4 : 3;
    for (uint32_t x = x0; x < x1; ++x, out += channels) {
        float r;
        float g;
        float b;
        if (raster_.photometric == kPalette) {
            const auto index = static_cast<unsigned>(Sample(row, x, 0)) & 0xFFu;
            r = palette_[0][index], g = palette_[1][index], b = palette_[2][index];
        } else if (raster_.photometric == kSeparated) {
            const float k = 255.0f - Sample(row, x, 3);
            r = (255.0f - Sample(row, x, 0)) * k / 255.0f;
            g = (255.0f - Sample(row, x, 1)) * k / 255.0f;
            b = (255.0f - Sample(row, x, 2)) * k / 255.0f;
        } else if (colour >= 3) {
            r = Sample(row, x, 0), g = Sample(row, x, 1), b = Sample(row, x, 2);
        } else {  // gray with extra samples
            float v = Sample(row, x, 0);
            if (raster_.bitsPerSample < 8) {
                v = levels_[static_cast<unsigned>(v)];
            } else if (raster_.photometric == kMinIsWhite) {
                v = 255.0f - v;
            }
            r = g = b = v;
        }
        if (alpha_) {
            const float a = Sample(row, x, colour);
            if (!raster_.associatedAlpha) {
                r = r * a / 255.0f, g = g * a / 255.0f, b = b * a / 255.0f;
            }
            out[3] = a;
        }
        out[0] = r, out[1] = g, out[2] = b;
    }
}

}  // namespace folio::engine
