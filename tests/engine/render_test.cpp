// Rendering rectangles of pages: exact pixels at scale 1, area averages when
// shrinking, crisp pixels when enlarging, and turned pages.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <set>
#include <stdexcept>
#include <thread>

#include "common/error.h"
#include "engine/image/raster.h"
#include "engine/image/side_by_side.h"
#include "support/open_page.h"
#include "sys/memory.h"

namespace folio::engine {
namespace {

using testing::TestPage;

constexpr double kDpi = 96.0;

uint8_t GrayAt(const RenderedImage& image, int x, int y) {
    return image.pixels[static_cast<size_t>(y) * image.stride + static_cast<size_t>(x)];
}

uint32_t ArgbAt(const RenderedImage& image, int x, int y) {
    uint32_t v;
    std::memcpy(
        &v, &image.pixels[static_cast<size_t>(y) * image.stride + 4 * static_cast<size_t>(x)], 4);
    return v;
}

uint32_t Sample8(const TestPage& layout, uint32_t x, uint32_t y, uint16_t channel = 0) {
    return testing::SampleAt(layout.pixels, layout.RowBytes(), layout.bitsPerSample,
                             layout.samplesPerPixel, x, y, channel);
}

class RenderTest : public ::testing::Test {
  protected:
    testing::TempDir dir_;
};

TEST_F(RenderTest, ScaleOneReproducesGrayPixelsInAnyRectangle) {
    const TestPage layout = testing::GrayPage(37, 29, 8);
    auto document = testing::OpenPages(dir_, {layout});
    for (const PixelRect rect :
         {PixelRect{0, 0, 37, 29}, PixelRect{5, 3, 10, 7}, PixelRect{36, 28, 1, 1}}) {
        const RenderedImage image = document->Render(0, 1.0, 1.0, kDpi, kDpi, rect);
        ASSERT_EQ(image.format, RenderedImage::Format::Gray8);
        ASSERT_EQ(image.width, rect.width);
        ASSERT_EQ(image.height, rect.height);
        for (int y = 0; y < rect.height; ++y) {
            for (int x = 0; x < rect.width; ++x) {
                ASSERT_EQ(GrayAt(image, x, y), Sample8(layout, rect.x + x, rect.y + y))
                    << "at (" << rect.x + x << ", " << rect.y + y << ")";
            }
        }
    }
}

TEST_F(RenderTest, ScaleOneShowsBilevelAsBlackAndWhiteWhateverThePhotometric) {
    for (const uint16_t photometric : {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_MINISBLACK}) {
        const TestPage layout = testing::BilevelPage(40, 20, COMPRESSION_CCITTFAX4, photometric);
        auto document = testing::OpenPages(dir_, {layout});
        const RenderedImage image = document->Render(0, 1.0, 1.0, kDpi, kDpi, {0, 0, 40, 20});
        ASSERT_EQ(image.format, RenderedImage::Format::Gray8);
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 40; ++x) {
                const bool bit = Sample8(layout, x, y) == 1;
                const bool black = photometric == PHOTOMETRIC_MINISWHITE ? bit : !bit;
                ASSERT_EQ(GrayAt(image, x, y), black ? 0 : 255) << "at (" << x << ", " << y << ")";
            }
        }
    }
}

// Colour pages at scale 1: ARGB whose colour is the page's own (palette looked
// up, CMYK converted, premultiplied alpha undone).
TEST_F(RenderTest, ColourPagesRenderAsArgb) {
    struct Model {
        const char* name;
        uint16_t photometric;
        uint16_t samples;
        uint16_t extraSampleKind;
        uint16_t bits;
    };
    for (const Model& model :
         {Model{"Rgb8", PHOTOMETRIC_RGB, 3, 0, 8}, Model{"Palette4", PHOTOMETRIC_PALETTE, 1, 0, 4},
          Model{"Cmyk8", PHOTOMETRIC_SEPARATED, 4, 0, 8},
          Model{"Cmyk16", PHOTOMETRIC_SEPARATED, 4, 0, 16},
          Model{"RgbUnassociatedAlpha", PHOTOMETRIC_RGB, 4, EXTRASAMPLE_UNASSALPHA, 8},
          Model{"RgbAssociatedAlpha", PHOTOMETRIC_RGB, 4, EXTRASAMPLE_ASSOCALPHA, 8},
          Model{"GrayAlpha", PHOTOMETRIC_MINISBLACK, 2, EXTRASAMPLE_UNASSALPHA, 8}}) {
        SCOPED_TRACE(model.name);
        TestPage layout = model.photometric == PHOTOMETRIC_PALETTE
                              ? testing::PalettePage(12, 5, model.bits)
                              : testing::RgbPage(12, 5, model.bits);
        layout.photometric = model.photometric;
        layout.samplesPerPixel = model.samples;
        layout.extraSamples = model.extraSampleKind ? 1 : 0;
        layout.extraSampleKind = model.extraSampleKind;
        layout.pixels = testing::PatternPixels(layout);
        auto document = testing::OpenPages(dir_, {layout});
        const RenderedImage image = document->Render(0, 1.0, 1.0, kDpi, kDpi, {0, 0, 12, 5});
        ASSERT_EQ(image.format, RenderedImage::Format::Argb32);
        for (uint32_t y = 0; y < 5; ++y) {
            for (uint32_t x = 0; x < 12; ++x) {
                const auto at = [&](uint16_t c) {
                    return Sample8(layout, x, y, c) / (model.bits == 16 ? 257.0 : 1.0);
                };
                double r, g, b, a = 255;
                if (model.photometric == PHOTOMETRIC_SEPARATED) {
                    const double k = 255 - at(3);
                    r = (255 - at(0)) * k / 255, g = (255 - at(1)) * k / 255,
                    b = (255 - at(2)) * k / 255;
                } else if (model.photometric == PHOTOMETRIC_PALETTE) {
                    const size_t index = Sample8(layout, x, y), n = layout.colorMap.size() / 3;
                    r = layout.colorMap[index] / 257, g = layout.colorMap[n + index] / 257,
                    b = layout.colorMap[2 * n + index] / 257;
                } else if (model.samples == 2) {
                    r = g = b = at(0), a = at(1);
                } else {
                    r = at(0), g = at(1), b = at(2), a = model.samples == 4 ? at(3) : 255;
                }
                if (model.extraSampleKind == EXTRASAMPLE_ASSOCALPHA && a > 0) {
                    r = r * 255 / a, g = g * 255 / a, b = b * 255 / a;
                }
                const uint32_t pixel = ArgbAt(image, static_cast<int>(x), static_cast<int>(y));
                ASSERT_NEAR(pixel >> 24, a, 1) << "alpha at (" << x << ", " << y << ")";
                if (a < 8) {
                    continue;  // colour of an almost transparent pixel is not meaningful
                }
                const double tolerance = a == 255 ? 0.5 : 1.0 + 255.0 / a;
                ASSERT_NEAR((pixel >> 16) & 0xFF, std::min(r, 255.0), tolerance) << x << "," << y;
                ASSERT_NEAR((pixel >> 8) & 0xFF, std::min(g, 255.0), tolerance) << x << "," << y;
                ASSERT_NEAR(pixel & 0xFF, std::min(b, 255.0), tolerance) << x << "," << y;
            }
        }
    }
}

TEST_F(RenderTest, HalfScaleAveragesEachTwoByTwoBlock) {
    const TestPage layout = testing::GrayPage(40, 30, 8);
    auto document = testing::OpenPages(dir_, {layout});
    const RenderedImage image = document->Render(0, 0.5, 0.5, kDpi, kDpi, {0, 0, 20, 15});
    for (int y = 0; y < 15; ++y) {
        for (int x = 0; x < 20; ++x) {
            const double mean =
                (Sample8(layout, 2 * x, 2 * y) + Sample8(layout, 2 * x + 1, 2 * y) +
                 Sample8(layout, 2 * x, 2 * y + 1) + Sample8(layout, 2 * x + 1, 2 * y + 1)) /
                4.0;
            ASSERT_NEAR(GrayAt(image, x, y), mean, 0.51) << "at (" << x << ", " << y << ")";
        }
    }
}

TEST_F(RenderTest, ShrunkenBilevelPagesShowGrayLevels) {
    const TestPage layout = testing::BilevelPage(300, 200, COMPRESSION_CCITTFAX4);
    auto document = testing::OpenPages(dir_, {layout});
    const RenderedImage image = document->Render(0, 0.3, 0.3, kDpi, kDpi, {0, 0, 90, 60});
    std::set<uint8_t> levels(image.pixels.begin(), image.pixels.end());
    EXPECT_GT(levels.size(), 4u) << "a shrunken bilevel page must not be thresholded";
    // The mean darkness survives shrinking.
    double source = 0;
    for (uint32_t y = 0; y < 200; ++y) {
        for (uint32_t x = 0; x < 300; ++x) {
            source += Sample8(layout, x, y) ? 0.0 : 255.0;
        }
    }
    double shown = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 90; ++x) {
            shown += GrayAt(image, x, y);
        }
    }
    EXPECT_NEAR(shown / (90 * 60), source / (300 * 200), 1.0);
}

TEST_F(RenderTest, EnlargedPagesKeepCrispPixelsAndOnlyTheRectangleIsMade) {
    const TestPage layout = testing::GrayPage(37, 29, 8);
    auto document = testing::OpenPages(dir_, {layout});
    // At 1000x the page is 37000 pixels wide; one 50 x 50 rectangle inside pixel (12, 7).
    const RenderedImage image =
        document->Render(0, 1000.0, 1000.0, kDpi, kDpi, {12000 + 100, 7000 + 200, 50, 50});
    ASSERT_EQ(image.pixels.size(), image.stride * 50);
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 50; ++x) {
            ASSERT_EQ(GrayAt(image, x, y), Sample8(layout, 12, 7));
        }
    }
}

TEST_F(RenderTest, AreaBeyondThePageIsWhite) {
    const TestPage layout = testing::GrayPage(10, 10, 8);
    auto document = testing::OpenPages(dir_, {layout});
    const RenderedImage image = document->Render(0, 1.0, 1.0, kDpi, kDpi, {5, 5, 10, 10});
    EXPECT_EQ(GrayAt(image, 0, 0), Sample8(layout, 5, 5));
    EXPECT_EQ(GrayAt(image, 9, 9), 255);
    EXPECT_EQ(GrayAt(image, 6, 2), 255);
}

// Where the pixel at (u, v) of a page shown with `turns` clockwise quarter turns
// comes from, for a stored page of w x h.
std::pair<uint32_t, uint32_t> SourceOf(int turns, uint32_t w, uint32_t h, uint32_t u, uint32_t v) {
    switch (turns) {
        case 1:
            return {v, h - 1 - u};
        case 2:
            return {w - 1 - u, h - 1 - v};
        case 3:
            return {w - 1 - v, u};
        default:
            return {u, v};
    }
}

class TurnedRenderTest : public RenderTest, public ::testing::WithParamInterface<int> {};

TEST_P(TurnedRenderTest, RenderOfATurnedPageIsTheTurnedPixels) {
    const int angle = GetParam();
    const int turns = ((angle / 90) % 4 + 4) % 4;
    const TestPage layout = testing::GrayPage(23, 13, 8);
    auto document = testing::OpenPages(dir_, {layout});
    document->RotatePage(0, angle);
    EXPECT_EQ(document->QuarterTurns(0), turns);
    const DisplaySize size = document->ShownSize(0, 1.0, 1.0, kDpi, kDpi);
    const bool odd = turns % 2 == 1;
    ASSERT_EQ(size.width, odd ? 13 : 23);
    ASSERT_EQ(size.height, odd ? 23 : 13);
    const PixelRect rect{2, 3, static_cast<int>(size.width) - 4, static_cast<int>(size.height) - 5};
    const RenderedImage image = document->Render(0, 1.0, 1.0, kDpi, kDpi, rect);
    ASSERT_EQ(image.width, rect.width);
    ASSERT_EQ(image.height, rect.height);
    for (int v = 0; v < rect.height; ++v) {
        for (int u = 0; u < rect.width; ++u) {
            const auto [x, y] = SourceOf(turns, 23, 13, rect.x + u, rect.y + v);
            ASSERT_EQ(GrayAt(image, u, v), Sample8(layout, x, y))
                << "at (" << u << ", " << v << ")";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Angles, TurnedRenderTest, ::testing::Values(0, 90, 180, 270, -90, 450));

TEST_F(RenderTest, RenderAtScaleIgnoresResolutionAndKeepsPixelsExact) {
    TestPage layout = testing::GrayPage(30, 20, 8);
    layout.xResolution = 204;
    layout.yResolution = 98;
    auto document = testing::OpenPages(dir_, {layout});
    document->RotatePage(0, 90);
    const DisplaySize size = document->ScaledSize(0, 1.0);
    ASSERT_EQ(size.width, 20);
    ASSERT_EQ(size.height, 30);
    const RenderedImage image = document->RenderAtScale(0, 1.0, {0, 0, 20, 30});
    for (int v = 0; v < 30; ++v) {
        for (int u = 0; u < 20; ++u) {
            const auto [x, y] = SourceOf(1, 30, 20, u, v);
            ASSERT_EQ(GrayAt(image, u, v), Sample8(layout, x, y));
        }
    }
    EXPECT_EQ(document->ScaledSize(0, 0.5).height, 15);
}

TEST_F(RenderTest, RefusesEmptyOrOversizedRectanglesAndBadZooms) {
    auto document = testing::OpenPages(dir_, {testing::GrayPage(10, 10, 8)});
    const auto number = [&](auto call) {
        try {
            call();
        } catch (const Error& e) {
            return e.Number();
        }
        return 0;
    };
    EXPECT_NE(number([&] { document->Render(0, 1, 1, kDpi, kDpi, {0, 0, 0, 5}); }), 0);
    EXPECT_NE(number([&] { document->Render(0, 1, 1, kDpi, kDpi, {0, 0, 100000, 100000}); }), 0);
    EXPECT_NE(number([&] { document->Render(0, 0, 1, kDpi, kDpi, {0, 0, 5, 5}); }), 0);
    EXPECT_NE(number([&] { document->Render(0, 1, 1, -1, kDpi, {0, 0, 5, 5}); }), 0);
    EXPECT_NE(number([&] { document->Render(1, 1, 1, kDpi, kDpi, {0, 0, 5, 5}); }), 0);
}

// Large buffers have mappings of their own, trimmed to a huge-page boundary when
// huge pages are asked for: every byte of them is there, copies and growth across
// the threshold keep the bytes, and freeing releases the right mapping.
TEST(PixelBuffers, AreWholeWithAndWithoutHugePages) {
    constexpr size_t kLarge = sys::kLargeBufferBytes;
    for (const bool huge : {false, true}) {
        sys::UseHugePageBuffers(huge);
        for (const size_t bytes : {size_t{2}, kLarge - 1, kLarge, kLarge + 1, 3 * kLarge + 4097}) {
            PixelBytes buffer(bytes, 0x5A);
            buffer.front() = 1;
            buffer.back() = 2;
            const PixelBytes copy = buffer;
            EXPECT_TRUE(std::ranges::equal(copy, buffer)) << bytes << (huge ? " huge" : "");
            buffer.resize(bytes + kLarge, 3);  // grows into a new mapping
            if (huge && sys::kMapLargeBuffers) {
                EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data()) % (size_t{2} << 20), 0u)
                    << "not on a huge-page boundary";
            }
            EXPECT_EQ(buffer[0], 1);
            EXPECT_EQ(buffer[bytes - 1], 2);
            EXPECT_EQ(buffer.back(), 3);
        }
    }
    sys::UseHugePageBuffers(false);
}

// Every part runs, and a part's failure reaches the caller only once all are done.
TEST(SideBySide, RunsEveryPartAndRaisesTheFirstFailureAfterAll) {
    for (const int parts : {0, 1, 2, 5}) {
        std::vector<std::atomic<int>> runs(static_cast<size_t>(parts));
        RunSideBySide(parts, [&](int part) { ++runs[static_cast<size_t>(part)]; });
        EXPECT_TRUE(std::ranges::all_of(runs, [](const auto& n) { return n == 1; })) << parts;
    }
    std::atomic<int> finished{0};
    try {
        RunSideBySide(4, [&](int part) {
            if (part >= 2) {
                throw std::runtime_error("part " + std::to_string(part));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ++finished;
        });
        ADD_FAILURE() << "no failure raised";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "part 2");
        EXPECT_EQ(finished, 2) << "raised before the other parts were done";
    }
}

}  // namespace
}  // namespace folio::engine
