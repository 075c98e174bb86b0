// JPEG pages drawn small come from libjpeg's scaled decoding: the same picture as the
// whole decode averaged down, for every layout, and a smaller decoded page held.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <cstdlib>

#include "engine/render/page_renderer.h"
#include "support/open_page.h"

namespace folio::engine {
namespace {

struct JpegCase {
    const char* name;
    uint16_t samples;
    uint16_t photometric;
    uint32_t rowsPerStrip;
    bool tiled;
    double scale;
    bool scaledDecode;  // whether a smaller page than the whole is decoded
};

class JpegScaledTest : public ::testing::TestWithParam<JpegCase> {};

TEST_P(JpegScaledTest, MatchesTheWholeDecodeAveragedDown) {
    const JpegCase& c = GetParam();
    testing::TestPage page;
    page.width = 650;  // not a whole number of tiles
    page.height = 488;
    page.samplesPerPixel = c.samples;
    page.photometric = c.photometric;
    page.compression = COMPRESSION_JPEG;
    page.rowsPerStrip = c.rowsPerStrip;
    page.tiled = c.tiled;
    page.tileWidth = 64;
    page.tileHeight = 64;
    page.jpegQuality = 90;
    // Smooth shading with a few hard edges, as scanned pages have.
    page.pixels.resize(page.RowBytes() * page.height);
    for (uint32_t y = 0; y < page.height; ++y) {
        for (uint32_t x = 0; x < page.width; ++x) {
            for (uint16_t s = 0; s < c.samples; ++s) {
                const bool bar = (y / 40) % 4 == 1 && x > 100 && x < 500;
                page.pixels[page.RowBytes() * y + x * c.samples + s] = static_cast<uint8_t>(
                    bar ? 30 + 20 * s
                        : 120 + 100 * std::sin((x + 3 * s) * 0.02) * std::cos(y * 0.015));
            }
        }
    }
    testing::TempDir dir;
    auto document = testing::OpenPages(dir, {page});
    const RenderGeometry geometry = ScaleGeometry(document->Info(0), 0, c.scale);
    const PixelRect region{0, 0, static_cast<int>(std::floor(geometry.shownWidth)),
                           static_cast<int>(std::floor(geometry.shownHeight))};
    const RenderedImage shown = document->RenderAtScale(0, c.scale, region);
    const size_t held = document->CacheBytes();
    const RenderedImage whole = RenderRegion(*document->Decode(0), geometry, region);
    ASSERT_EQ(shown.width, whole.width);
    ASSERT_EQ(shown.height, whole.height);
    ASSERT_EQ(shown.pixels.size(), whole.pixels.size());
    double difference = 0.0;
    for (size_t i = 0; i < whole.pixels.size(); ++i) {
        difference += std::abs(shown.pixels[i] - whole.pixels[i]);
    }
    EXPECT_LT(difference / static_cast<double>(whole.pixels.size()), 2.0);
    const size_t wholeBytes = page.RowBytes() * page.height;
    if (c.scaledDecode) {
        EXPECT_LE(held, wholeBytes / 4) << "the whole page was decoded";
    } else {
        EXPECT_EQ(held, wholeBytes) << "a layout that cannot be scaled is decoded whole";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, JpegScaledTest,
    ::testing::Values(JpegCase{"YCbCrHalf", 3, PHOTOMETRIC_YCBCR, 16, false, 0.45, true},
                      JpegCase{"YCbCrEighth", 3, PHOTOMETRIC_YCBCR, 16, false, 0.1, true},
                      JpegCase{"Rgb", 3, PHOTOMETRIC_RGB, 32, false, 0.2, true},
                      JpegCase{"Gray", 1, PHOTOMETRIC_MINISBLACK, 8, false, 0.12, true},
                      JpegCase{"OneStrip", 3, PHOTOMETRIC_YCBCR, 488, false, 0.3, true},
                      JpegCase{"Tiled", 3, PHOTOMETRIC_YCBCR, 0, true, 0.2, true},
                      JpegCase{"TiledGrayEighth", 1, PHOTOMETRIC_MINISBLACK, 0, true, 0.1, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace folio::engine
