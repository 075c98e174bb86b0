// Quarter turns and mirroring of pixels: one implementation behind a page's
// Orientation tag, the user's rotation of a page and the rotation of rendered
// images.

#include "engine/image/raster_transforms.h"

#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace folio::engine {
namespace {

// Packed pixels of `bits` bits each, `height` rows of `stride` bytes.
struct SourcePixels {
    const uint8_t* data;
    size_t stride;
    uint32_t width;
    uint32_t height;
};

struct TargetPixels {
    uint8_t* data;
    size_t stride;
    uint32_t width;
    uint32_t height;
};

bool SwapsAxes(PixelTransform t) {
    return t.turns % 2 == 1;
}

// Where the source pixel for target (x, y) lies in a source `w` by `h`.
void Locate(PixelTransform t, uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint32_t& sx,
            uint32_t& sy) {
    switch (t.turns) {
        case 1:  // target(x, y) = source(y, h-1-x)
            sx = y;
            sy = h - 1 - x;
            break;
        case 2:
            sx = w - 1 - x;
            sy = h - 1 - y;
            break;
        case 3:  // target(x, y) = source(w-1-y, x)
            sx = w - 1 - y;
            sy = x;
            break;
        default:
            sx = x;
            sy = y;
            break;
    }
    if (t.mirror) {
        sx = w - 1 - sx;
    }
}

// Copies `count` bits from `src` at bit `srcBit` to `dst` at bit `dstBit`, most
// significant bit first, in runs that never cross a byte boundary on either side.
void CopyBits(const uint8_t* src, size_t srcBit, uint8_t* dst, size_t dstBit, size_t count) {
    while (count > 0) {
        const size_t srcRoom = 8 - srcBit % 8;
        const size_t dstRoom = 8 - dstBit % 8;
        size_t n = count < srcRoom ? count : srcRoom;
        n = n < dstRoom ? n : dstRoom;
        const unsigned mask = (1u << n) - 1u;
        const unsigned value = (src[srcBit / 8] >> (srcRoom - n)) & mask;
        uint8_t& d = dst[dstBit / 8];
        const unsigned shift = static_cast<unsigned>(dstRoom - n);
        d = static_cast<uint8_t>((d & ~(mask << shift)) | (value << shift));
        srcBit += n;
        dstBit += n;
        count -= n;
    }
}

// Transposes an 8x8 bit block: bit (7-j) of in[i] becomes bit (7-i) of out[j].
void Transpose8(const uint8_t in[8], uint8_t out[8]) {
    uint64_t x = 0;
    for (int i = 0; i < 8; ++i) {
        x = (x << 8) | in[i];
    }
    uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
    x = x ^ t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
    x = x ^ t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
    x = x ^ t ^ (t << 28);
    for (int j = 0; j < 8; ++j) {
        out[j] = static_cast<uint8_t>(x >> (56 - 8 * j));
    }
}

// The source row that becomes destination column `c` (0 when there is none).
const uint8_t* SourceRowFor(const SourcePixels& src, uint32_t c, bool clockwise) {
    if (c >= src.height) {
        return nullptr;
    }
    return src.data + (clockwise ? src.height - 1 - c : c) * src.stride;
}

// The destination row that source pixel column `x` becomes.
uint32_t DestRowFor(const SourcePixels& src, uint32_t x, bool clockwise) {
    return clockwise ? x : src.width - 1 - x;
}

// Source byte columns handled together: the destination rows they become stay in
// the cache while every column byte of those rows is filled.
constexpr size_t kBand = 16;

// One bit per pixel, a quarter turn either way, in 8x8 blocks, for destination
// column bytes from `firstByte` on. A clockwise turn is the transpose of the
// source read bottom row first; a counter-clockwise turn is the transpose written
// bottom row first.
void RotateBilevelBlocks(const SourcePixels& src, TargetPixels& dst, bool clockwise,
                         size_t firstByte) {
    const uint32_t w = src.width;
    const size_t srcBytes = RowBytes(w, 1);
    uint8_t in[8];
    uint8_t out[8];
    for (size_t band = 0; band < srcBytes; band += kBand) {
        const size_t bandEnd = band + kBand < srcBytes ? band + kBand : srcBytes;
        for (size_t cb = firstByte; cb < dst.stride; ++cb) {
            const uint8_t* rows[8];
            for (uint32_t i = 0; i < 8; ++i) {
                rows[i] = SourceRowFor(src, static_cast<uint32_t>(cb * 8 + i), clockwise);
            }
            for (size_t bx = band; bx < bandEnd; ++bx) {
                for (int i = 0; i < 8; ++i) {
                    in[i] = rows[i] ? rows[i][bx] : 0;
                }
                Transpose8(in, out);
                const uint32_t x0 = static_cast<uint32_t>(bx * 8);
                for (uint32_t j = 0; j < 8 && x0 + j < w; ++j) {
                    dst.data[DestRowFor(src, x0 + j, clockwise) * dst.stride + cb] = out[j];
                }
            }
        }
    }
}

#if defined(__SSE2__)
// The same for 16 source rows at a time: the byte of each row at one column goes
// into one register, whose byte sign bits (movemask) then give two destination
// bytes of a row at once; doubling every byte moves on to the next pixel column.
// Returns the first destination column byte left for RotateBilevelBlocks.
size_t RotateBilevelSse2(const SourcePixels& src, TargetPixels& dst, bool clockwise) {
    const uint32_t w = src.width;
    const size_t srcBytes = RowBytes(w, 1);
    const uint32_t groups = src.height / 16;
    for (size_t band = 0; band < srcBytes; band += kBand) {
        const size_t bandEnd = band + kBand < srcBytes ? band + kBand : srcBytes;
        for (uint32_t g = 0; g < groups; ++g) {
            const uint8_t* r[16];
            for (uint32_t i = 0; i < 16; ++i) {
                r[i] = SourceRowFor(src, g * 16 + i, clockwise);
            }
            uint8_t* out = dst.data + size_t{g} * 2;
            for (size_t b = band; b < bandEnd; ++b) {
                // Register byte k holds row 7-k (k < 8) or row 23-k, so that mask
                // bit k is bit 7-k of the first or second destination byte.
                __m128i v = _mm_set_epi8(static_cast<char>(r[8][b]), static_cast<char>(r[9][b]),
                                         static_cast<char>(r[10][b]), static_cast<char>(r[11][b]),
                                         static_cast<char>(r[12][b]), static_cast<char>(r[13][b]),
                                         static_cast<char>(r[14][b]), static_cast<char>(r[15][b]),
                                         static_cast<char>(r[0][b]), static_cast<char>(r[1][b]),
                                         static_cast<char>(r[2][b]), static_cast<char>(r[3][b]),
                                         static_cast<char>(r[4][b]), static_cast<char>(r[5][b]),
                                         static_cast<char>(r[6][b]), static_cast<char>(r[7][b]));
                const uint32_t x0 = static_cast<uint32_t>(b * 8);
                for (uint32_t j = 0; j < 8 && x0 + j < w; ++j) {
                    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(v));
                    uint8_t* row = out + DestRowFor(src, x0 + j, clockwise) * dst.stride;
                    row[0] = static_cast<uint8_t>(mask);
                    row[1] = static_cast<uint8_t>(mask >> 8);
                    v = _mm_add_epi8(v, v);
                }
            }
        }
    }
    return size_t{groups} * 2;
}
#endif

void RotateBilevelQuarter(const SourcePixels& src, TargetPixels& dst, bool clockwise) {
    size_t firstByte = 0;
#if defined(__SSE2__)
    firstByte = RotateBilevelSse2(src, dst, clockwise);
#endif
    RotateBilevelBlocks(src, dst, clockwise, firstByte);
}

const std::array<uint8_t, 256>& BitReversal() {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (unsigned v = 0; v < 256; ++v) {
            unsigned r = 0;
            for (unsigned b = 0; b < 8; ++b) {
                r |= ((v >> b) & 1u) << (7 - b);
            }
            t[v] = static_cast<uint8_t>(r);
        }
        return t;
    }();
    return table;
}

// One bit per pixel, half a turn: each row reversed bit-wise, then shifted left
// by the row's padding so the pixels start at bit 0 again.
void RotateBilevelHalf(const SourcePixels& src, TargetPixels& dst) {
    const auto& rev = BitReversal();
    const size_t bytes = RowBytes(src.width, 1);
    const unsigned pad = static_cast<unsigned>(bytes * 8 - src.width);
    std::vector<uint8_t> row(bytes + 1, 0);
    for (uint32_t y = 0; y < src.height; ++y) {
        const uint8_t* in = src.data + (src.height - 1 - y) * src.stride;
        for (size_t k = 0; k < bytes; ++k) {
            row[k] = rev[in[bytes - 1 - k]];
        }
        uint8_t* out = dst.data + y * dst.stride;
        if (pad == 0) {
            std::memcpy(out, row.data(), bytes);
            continue;
        }
        for (size_t k = 0; k < bytes; ++k) {
            out[k] = static_cast<uint8_t>((row[k] << pad) | (row[k + 1] >> (8 - pad)));
        }
    }
}

// Any pixel size, any transform: pixels that fill whole bytes are copied
// byte-wise, others bit-wise.
void TransformGeneric(const SourcePixels& src, TargetPixels& dst, size_t bits, PixelTransform t) {
    for (uint32_t y = 0; y < dst.height; ++y) {
        uint8_t* out = dst.data + y * dst.stride;
        for (uint32_t x = 0; x < dst.width; ++x) {
            uint32_t sx = 0;
            uint32_t sy = 0;
            Locate(t, x, y, src.width, src.height, sx, sy);
            const uint8_t* in = src.data + sy * src.stride;
            if (bits % 8 == 0) {
                std::memcpy(out + x * bits / 8, in + sx * bits / 8, bits / 8);
            } else {
                CopyBits(in, sx * bits, out, x * bits, bits);
            }
        }
    }
}

// Writes `src` transformed into `dst`, which has the transformed size and is
// zero-filled (so padding bits stay zero).
void TransformPixels(const SourcePixels& src, TargetPixels& dst, size_t bits, PixelTransform t) {
    if (src.width == 0 || src.height == 0) {
        return;
    }
    if (t.mirror && t.turns == 2) {  // upside down: whole rows in reverse order
        const size_t bytes = RowBytes(src.width, bits);
        for (uint32_t y = 0; y < src.height; ++y) {
            std::memcpy(dst.data + y * dst.stride, src.data + (src.height - 1 - y) * src.stride,
                        bytes);
        }
        return;
    }
    if (bits == 1 && !t.mirror && t.turns == 2) {
        RotateBilevelHalf(src, dst);
        return;
    }
    if (bits == 1 && !t.mirror && SwapsAxes(t)) {
        RotateBilevelQuarter(src, dst, t.turns == 1);
        return;
    }
    TransformGeneric(src, dst, bits, t);
}

Raster Transformed(const Raster& raster, PixelTransform t) {
    const size_t bits = size_t{raster.bitsPerSample} * raster.samplesPerPixel;
    Raster out = RasterHeader(raster);
    out.width = SwapsAxes(t) ? raster.height : raster.width;
    out.height = SwapsAxes(t) ? raster.width : raster.height;
    out.stride = RowBytes(out.width, bits);
    out.data.assign(out.stride * out.height, 0);
    const SourcePixels src{raster.data.data(), raster.stride, raster.width, raster.height};
    TargetPixels dst{out.data.data(), out.stride, out.width, out.height};
    TransformPixels(src, dst, bits, t);
    return out;
}

}  // namespace

Raster RotateRaster(const Raster& raster, int quarterTurns) {
    const int turns = NormalQuarterTurns(quarterTurns);
    if (turns == 0) {
        return raster;
    }
    return Transformed(raster, PixelTransform{turns, false});
}

RenderedImage RotateImage(RenderedImage image, int quarterTurns) {
    const PixelTransform t{NormalQuarterTurns(quarterTurns), false};
    if (t.turns == 0) {
        return image;
    }
    const size_t pixelBytes = image.format == RenderedImage::Format::Gray8 ? 1 : 4;
    RenderedImage out;
    out.format = image.format;
    out.width = SwapsAxes(t) ? image.height : image.width;
    out.height = SwapsAxes(t) ? image.width : image.height;
    out.stride = (static_cast<size_t>(out.width) * pixelBytes + 3) & ~size_t{3};
    out.pixels.assign(out.stride * static_cast<size_t>(out.height), 0);
    const SourcePixels src{image.pixels.data(), image.stride, static_cast<uint32_t>(image.width),
                           static_cast<uint32_t>(image.height)};
    TargetPixels dst{out.pixels.data(), out.stride, static_cast<uint32_t>(out.width),
                     static_cast<uint32_t>(out.height)};
    TransformPixels(src, dst, pixelBytes * 8, t);
    return out;
}

PixelTransform UprightTransform(uint16_t orientation) {
    static constexpr PixelTransform kUpright[9] = {
        {}, {}, {0, true}, {2, false}, {2, true}, {3, true}, {1, false}, {1, true}, {3, false}};
    return orientation <= 8 ? kUpright[orientation] : PixelTransform{};
}

void ApplyOrientation(Raster& raster, uint16_t orientation) {
    const PixelTransform t = UprightTransform(orientation);
    if ((t.turns == 0 && !t.mirror) || raster.width == 0 || raster.height == 0) {
        return;
    }
    raster = Transformed(raster, t);
}

}  // namespace folio::engine
