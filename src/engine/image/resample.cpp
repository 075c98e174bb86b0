// Area resampling: each output pixel the mean of the source area it covers, with
// rows unpacked into floating-point samples for it.

#include "engine/image/resample.h"

#include "engine/image/side_by_side.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

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

// Output rows [first, last): for each, first the weighted sum of the source rows it
// covers, per source column (streaming, and whole bytes at a time for bilevel
// pages), then the weighted sums across columns.
void ResampleRows(const RowUnpacker& unpacker, const Taps& x, const Taps& y, uint32_t spanStart,
                  uint32_t spanEnd, int first, int last, RenderedImage& image) {
    const auto channels = static_cast<size_t>(unpacker.Channels());
    const size_t span = spanEnd - spanStart;
    std::vector<float> columns(span * channels);
    std::vector<float> scratch(span * channels);
    std::vector<float> acc(static_cast<size_t>(image.width) * channels);
    for (int j = first; j < last; ++j) {
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

    // Rows are independent: a large image is made in bands side by side.
    const int bands =
        BandsFor(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    RunSideBySide(bands, [&](int band) {
        ResampleRows(unpacker, x, y, spanStart, spanEnd, image.height * band / bands,
                     image.height * (band + 1) / bands, image);
    });
    return image;
}

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
