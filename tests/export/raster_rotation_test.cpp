#include "engine/image/raster_transforms.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/raster_oracle.h"

namespace folio::engine {
namespace {

using testing::PatternPixels;
using testing::RasterFromTestPage;
using testing::ReferenceRotate;
using testing::SamePixels;
using testing::TestPage;

struct Shape {
    uint16_t bits;
    uint16_t samples;
    uint32_t width;
    uint32_t height;
};

Raster Pattern(const Shape& shape) {
    TestPage layout;
    layout.width = shape.width;
    layout.height = shape.height;
    layout.bitsPerSample = shape.bits;
    layout.samplesPerPixel = shape.samples;
    layout.photometric = shape.samples >= 3 ? 2 : 1;
    // A sample beyond the colour ones is alpha, which the turned raster must keep.
    if (shape.samples == 2 || shape.samples == 4) {
        layout.extraSamples = 1;
        layout.extraSampleKind = 2;
    }
    layout.pixels = PatternPixels(layout, 7);
    // Rows with padding bits or bytes beyond the pixels, which must not leak.
    Raster r = RasterFromTestPage(layout);
    const size_t stride = r.stride + 3;
    PixelBytes padded(stride * r.height, 0xA5);
    for (uint32_t y = 0; y < r.height; ++y) {
        std::copy_n(r.data.begin() + y * r.stride, r.stride, padded.begin() + y * stride);
    }
    r.stride = stride;
    r.data = std::move(padded);
    return r;
}

class RotateRasterTest : public ::testing::TestWithParam<Shape> {};

TEST_P(RotateRasterTest, EachTurnMatchesPixelByPixelReference) {
    const Raster source = Pattern(GetParam());
    for (int turns = 1; turns <= 3; ++turns) {
        const Raster turned = RotateRaster(source, turns);
        EXPECT_TRUE(SamePixels(turned, ReferenceRotate(source, turns))) << "turns " << turns;
        EXPECT_EQ(turned.stride,
                  (size_t{turned.width} * source.bitsPerSample * source.samplesPerPixel + 7) / 8);
        EXPECT_EQ(turned.data.size(), turned.stride * turned.height);
    }
}

TEST_P(RotateRasterTest, FourQuarterTurnsGiveBackTheOriginal) {
    const Raster source = Pattern(GetParam());
    Raster r = source;
    for (int i = 0; i < 4; ++i) {
        r = RotateRaster(r, 1);
    }
    EXPECT_TRUE(SamePixels(r, source));
    EXPECT_TRUE(SamePixels(RotateRaster(RotateRaster(source, 2), 2), source));
    EXPECT_TRUE(SamePixels(RotateRaster(RotateRaster(source, 1), -1), source));
}

TEST_P(RotateRasterTest, NegativeAndLargeTurnsCountModuloFour) {
    const Raster source = Pattern(GetParam());
    EXPECT_TRUE(SamePixels(RotateRaster(source, -1), RotateRaster(source, 3)));
    EXPECT_TRUE(SamePixels(RotateRaster(source, 6), RotateRaster(source, 2)));
    EXPECT_TRUE(SamePixels(RotateRaster(source, 4), source));
}

TEST_P(RotateRasterTest, PaddingBitsOfTurnedRowsAreZero) {
    const Raster source = Pattern(GetParam());
    for (int turns = 1; turns <= 3; ++turns) {
        const Raster turned = RotateRaster(source, turns);
        const size_t usedBits =
            size_t{turned.width} * turned.bitsPerSample * turned.samplesPerPixel;
        for (uint32_t y = 0; y < turned.height; ++y) {
            for (size_t bit = usedBits; bit < turned.stride * 8; ++bit) {
                const uint8_t byte = turned.data[y * turned.stride + bit / 8];
                ASSERT_EQ((byte >> (7 - bit % 8)) & 1, 0) << "turns " << turns << " row " << y;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Depths, RotateRasterTest,
    ::testing::Values(Shape{1, 1, 8, 8}, Shape{1, 1, 13, 7},
                      // 16-row groups with rows left over, over
                      // several bands of columns.
                      Shape{1, 1, 300, 37}, Shape{1, 1, 129, 16}, Shape{1, 1, 17, 50},
                      Shape{1, 1, 70, 19}, Shape{1, 1, 1, 17}, Shape{1, 1, 16, 24},
                      Shape{2, 1, 11, 6}, Shape{4, 1, 9, 13}, Shape{8, 1, 10, 3},
                      Shape{16, 1, 5, 9}, Shape{8, 3, 7, 5}, Shape{16, 4, 6, 4}, Shape{4, 3, 5, 7},
                      Shape{1, 3, 9, 4}, Shape{12, 1, 5, 6}, Shape{8, 2, 3, 8}),
    [](const auto& info) {
        const Shape& s = info.param;
        return std::to_string(s.bits) + "bit" + std::to_string(s.samples) + "x_" +
               std::to_string(s.width) + "x" + std::to_string(s.height);
    });

TEST(RotateRasterKnownPattern, BilevelThreeByTwo) {
    // X . X      clockwise:  . X     counter-clockwise:  X X
    // . X X                  X .                         . X
    //                        X X                         X .
    Raster r;
    r.width = 3;
    r.height = 2;
    r.stride = 1;
    r.data = {0b10100000, 0b01100000};
    const Raster cw = RotateRaster(r, 1);
    ASSERT_EQ(cw.width, 2u);
    ASSERT_EQ(cw.height, 3u);
    EXPECT_THAT(cw.data, ::testing::ElementsAreArray(
                             (std::vector<uint8_t>{0b01000000, 0b10000000, 0b11000000})));
    EXPECT_THAT(
        RotateRaster(r, 3).data,
        ::testing::ElementsAreArray((std::vector<uint8_t>{0b11000000, 0b01000000, 0b10000000})));
    EXPECT_THAT(RotateRaster(r, 2).data,
                ::testing::ElementsAreArray((std::vector<uint8_t>{0b11000000, 0b10100000})));
}

TEST(RotateRasterKnownPattern, CarriesColourModelAndMap) {
    Raster r;
    r.width = 2;
    r.height = 1;
    r.bitsPerSample = 8;
    r.samplesPerPixel = 1;
    r.photometric = 3;
    r.colorMap.assign(3 * 256, 0);
    r.colorMap[5] = 0xFFFF;
    r.stride = 2;
    r.data = {5, 9};
    const Raster turned = RotateRaster(r, 1);
    EXPECT_EQ(turned.photometric, 3);
    EXPECT_EQ(turned.colorMap, r.colorMap);
    EXPECT_THAT(turned.data, ::testing::ElementsAreArray((std::vector<uint8_t>{5, 9})));
    EXPECT_EQ(turned.width, 1u);
    EXPECT_EQ(turned.height, 2u);
}

}  // namespace
}  // namespace folio::engine
