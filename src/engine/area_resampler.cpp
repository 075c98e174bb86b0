#include "engine/area_resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/row_unpacker.h"

namespace folio::engine {
namespace {

// The source pixels one output pixel covers along one axis, with each one's share
// of the output pixel (shares sum to less than 1 where the page ends).
struct Taps {
    std::vector<uint32_t> first;  // per output pixel
    std::vector<uint32_t> count;  // per output pixel
    std::vector<size_t> offset;   // into weights, per output pixel
    std::vector<float> weights;
    std::vector<float> coverage;  // per output pixel: sum of its weights
};

Taps MakeTaps(int outputs, double origin, double scale, uint32_t sourceSize) {
    Taps taps;
    taps.first.resize(static_cast<size_t>(outputs));
    taps.count.resize(static_cast<size_t>(outputs));
    taps.offset.resize(static_cast<size_t>(outputs));
    taps.coverage.resize(static_cast<size_t>(outputs));
    const double end = static_cast<double>(sourceSize);
    for (int i = 0; i < outputs; ++i) {
        const auto index = static_cast<size_t>(i);
        const double a = std::clamp((origin + i) / scale, 0.0, end);
        const double b = std::clamp((origin + i + 1) / scale, 0.0, end);
        taps.offset[index] = taps.weights.size();
        taps.first[index] = static_cast<uint32_t>(std::floor(a));
        float covered = 0.0f;
        if (b > a) {
            const auto last = static_cast<uint32_t>(std::min(std::ceil(b), end));
            for (uint32_t k = taps.first[index]; k < last; ++k) {
                const double share =
                    (std::min(b, k + 1.0) - std::max(a, static_cast<double>(k))) * scale;
                if (share > 0.0) {
                    taps.weights.push_back(static_cast<float>(share));
                    covered += static_cast<float>(share);
                } else {
                    taps.weights.push_back(0.0f);
                }
            }
            taps.count[index] = last - taps.first[index];
        }
        taps.coverage[index] = std::min(covered, 1.0f);
    }
    return taps;
}

inline uint8_t ToByte(float v) {
    return static_cast<uint8_t>(std::clamp(v + 0.5f, 0.0f, 255.0f));
}

void StoreGray(const float* acc, float rowCoverage, const Taps& x, int width, uint8_t* out) {
    for (int i = 0; i < width; ++i) {
        const float inside = x.coverage[static_cast<size_t>(i)] * rowCoverage;
        out[i] = ToByte(acc[i] + (1.0f - inside) * 255.0f);
    }
}

void StoreRgb(const float* acc, float rowCoverage, const Taps& x, int width, uint8_t* out) {
    for (int i = 0; i < width; ++i) {
        const float white = (1.0f - x.coverage[static_cast<size_t>(i)] * rowCoverage) * 255.0f;
        const float* p = acc + 3 * i;
        const uint32_t argb = 0xFF000000u | (uint32_t{ToByte(p[0] + white)} << 16) |
                              (uint32_t{ToByte(p[1] + white)} << 8) | ToByte(p[2] + white);
        std::memcpy(out + 4 * i, &argb, 4);
    }
}

void StoreArgb(const float* acc, float rowCoverage, const Taps& x, int width, uint8_t* out) {
    for (int i = 0; i < width; ++i) {
        const float outside = 1.0f - x.coverage[static_cast<size_t>(i)] * rowCoverage;
        const float* p = acc + 4 * i;
        // Premultiplied sums plus opaque white where the page does not reach.
        const float a = p[3] + outside * 255.0f;
        float r = 255.0f, g = 255.0f, b = 255.0f;
        if (a > 0.0f) {
            const float unpremultiply = 255.0f / a;
            r = (p[0] + outside * 255.0f) * unpremultiply;
            g = (p[1] + outside * 255.0f) * unpremultiply;
            b = (p[2] + outside * 255.0f) * unpremultiply;
        }
        const uint32_t argb = (uint32_t{ToByte(a)} << 24) | (uint32_t{ToByte(r)} << 16) |
                              (uint32_t{ToByte(g)} << 8) | ToByte(b);
        std::memcpy(out + 4 * i, &argb, 4);
    }
}

// The weighted sums across the source columns each output pixel covers.
template <size_t C>
void SumAcross(const float* columns, uint32_t spanStart, const Taps& x, int width, float* acc) {
    for (int i = 0; i < width; ++i) {
        const auto col = static_cast<size_t>(i);
        const float* w = x.weights.data() + x.offset[col];
        const float* s = columns + (x.first[col] - spanStart) * C;
        float sum[C] = {};
        for (uint32_t k = 0; k < x.count[col]; ++k) {
            for (size_t c = 0; c < C; ++c) {
                sum[c] += w[k] * s[C * k + c];
            }
        }
        std::copy(sum, sum + C, acc + col * C);
    }
}

}  // namespace

RenderedImage ResampleArea(const Raster& raster, const ResampleGrid& grid) {
    const RowUnpacker unpacker(raster);
    RenderedImage image;
    image.format = unpacker.IsGray() ? RenderedImage::Format::Gray8 : RenderedImage::Format::Argb32;
    image.width = std::max(grid.width, 0);
    image.height = std::max(grid.height, 0);
    const size_t pixelBytes = unpacker.IsGray() ? 1 : 4;
    image.stride = (static_cast<size_t>(image.width) * pixelBytes + 3) & ~size_t{3};
    image.pixels.assign(image.stride * static_cast<size_t>(image.height), 0xFF);
    if (image.width == 0 || image.height == 0 || raster.width == 0 || raster.height == 0 ||
        !(grid.scaleX > 0.0) || !(grid.scaleY > 0.0) || !std::isfinite(grid.scaleX) ||
        !std::isfinite(grid.scaleY) || !std::isfinite(grid.originX) ||
        !std::isfinite(grid.originY)) {
        return image;
    }

    const Taps x = MakeTaps(image.width, grid.originX, grid.scaleX, raster.width);
    const Taps y = MakeTaps(image.height, grid.originY, grid.scaleY, raster.height);
    // The span of source columns any output pixel reads.
    uint32_t spanStart = raster.width;
    uint32_t spanEnd = 0;
    for (int i = 0; i < image.width; ++i) {
        const auto index = static_cast<size_t>(i);
        if (x.count[index] > 0) {
            spanStart = std::min(spanStart, x.first[index]);
            spanEnd = std::max(spanEnd, x.first[index] + x.count[index]);
        }
    }
    if (spanEnd <= spanStart) {
        return image;
    }

    // Each output row: first the weighted sum of the source rows it covers, per
    // source column (streaming, and whole bytes at a time for bilevel pages),
    // then the weighted sums across columns.
    const auto channels = static_cast<size_t>(unpacker.Channels());
    const size_t span = spanEnd - spanStart;
    std::vector<float> columns(span * channels);
    std::vector<float> scratch(span * channels);
    std::vector<float> acc(static_cast<size_t>(image.width) * channels);
    for (int j = 0; j < image.height; ++j) {
        const auto row = static_cast<size_t>(j);
        std::fill(columns.begin(), columns.end(), 0.0f);
        for (uint32_t t = 0; t < y.count[row]; ++t) {
            const float wy = y.weights[y.offset[row] + t];
            if (wy > 0.0f) {
                unpacker.Accumulate(y.first[row] + t, spanStart, spanEnd, wy, columns.data(),
                                    scratch.data());
            }
        }
        uint8_t* out = image.pixels.data() + row * image.stride;
        const float* sums = acc.data();
        switch (channels) {
            case 1:
                SumAcross<1>(columns.data(), spanStart, x, image.width, acc.data());
                StoreGray(sums, y.coverage[row], x, image.width, out);
                break;
            case 3:
                SumAcross<3>(columns.data(), spanStart, x, image.width, acc.data());
                StoreRgb(sums, y.coverage[row], x, image.width, out);
                break;
            default:
                SumAcross<4>(columns.data(), spanStart, x, image.width, acc.data());
                StoreArgb(sums, y.coverage[row], x, image.width, out);
                break;
        }
    }
    return image;
}

}  // namespace folio::engine
