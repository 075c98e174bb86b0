// Every compression and pixel layout the engine reads, written by libtiff and read
// back through EngineDocument: the decoded raster must hold the written pixels.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>
#include <string>

#include "common/error.h"
#include "engine/document/engine_document.h"
#include "support/temp_dir.h"
#include "support/tiff_fixture.h"

namespace folio::engine {
namespace {

using testing::TestPage;

struct DecodeCase {
    std::string name;
    TestPage layout;
    int tolerance = 0;  // largest allowed sample difference (lossy codecs)
};

TestPage With(TestPage layout, void (*change)(TestPage&)) {
    change(layout);
    layout.pixels = testing::PatternPixels(layout);
    return layout;
}

std::vector<DecodeCase> Cases() {
    std::vector<DecodeCase> cases;
    // Bilevel with every codec that takes one bit per pixel, both photometrics.
    const std::pair<const char*, uint16_t> bilevelCodecs[] = {
        {"None", COMPRESSION_NONE},
        {"CcittRle", COMPRESSION_CCITTRLE},
        {"G3", COMPRESSION_CCITTFAX3},
        {"G4", COMPRESSION_CCITTFAX4},
        {"Lzw", COMPRESSION_LZW},
        {"PackBits", COMPRESSION_PACKBITS},
        {"Deflate", COMPRESSION_ADOBE_DEFLATE},
    };
    for (const auto& [name, codec] : bilevelCodecs) {
        cases.push_back({std::string("Bilevel") + name + "MinIsWhite",
                         testing::BilevelPage(67, 41, codec, PHOTOMETRIC_MINISWHITE)});
        cases.push_back({std::string("Bilevel") + name + "MinIsBlack",
                         testing::BilevelPage(67, 41, codec, PHOTOMETRIC_MINISBLACK)});
    }
    cases.push_back(
        {"BilevelG4FillOrderReversed", With(testing::BilevelPage(67, 41, COMPRESSION_CCITTFAX4),
                                            [](TestPage& s) { s.fillOrder = FILLORDER_LSB2MSB; })});
    cases.push_back({"BilevelNoneFillOrderReversed",
                     With(testing::BilevelPage(67, 41, COMPRESSION_NONE),
                          [](TestPage& s) { s.fillOrder = FILLORDER_LSB2MSB; })});
    cases.push_back(
        {"BilevelG3ManyStrips", With(testing::BilevelPage(67, 41, COMPRESSION_CCITTFAX3),
                                     [](TestPage& s) { s.rowsPerStrip = 5; })});
    // Gray at every depth, with the general-purpose codecs.
    for (const uint16_t bits : {2, 4, 8, 16}) {
        for (const auto& [name, codec] :
             {std::pair<const char*, uint16_t>{"None", COMPRESSION_NONE},
              {"Lzw", COMPRESSION_LZW},
              {"Deflate", COMPRESSION_ADOBE_DEFLATE},
              {"PackBits", COMPRESSION_PACKBITS}}) {
            cases.push_back(
                {"Gray" + std::to_string(bits) + name, testing::GrayPage(37, 29, bits, codec)});
        }
    }
    cases.push_back({"Gray8MinIsWhite", With(testing::GrayPage(37, 29, 8), [](TestPage& s) {
                         s.photometric = PHOTOMETRIC_MINISWHITE;
                     })});
    cases.push_back(
        {"Gray16LzwPredictor", With(testing::GrayPage(37, 29, 16, COMPRESSION_LZW),
                                    [](TestPage& s) { s.predictor = PREDICTOR_HORIZONTAL; })});
    cases.push_back({"Gray8Jpeg", testing::GrayPage(48, 32, 8, COMPRESSION_JPEG), 12});
    if (TIFFIsCODECConfigured(COMPRESSION_ZSTD)) {
        cases.push_back({"Gray8Zstd", testing::GrayPage(37, 29, 8, COMPRESSION_ZSTD)});
    }
    if (TIFFIsCODECConfigured(COMPRESSION_LZMA)) {
        cases.push_back({"Gray8Lzma", testing::GrayPage(37, 29, 8, COMPRESSION_LZMA)});
    }
    if (TIFFIsCODECConfigured(COMPRESSION_WEBP)) {
        cases.push_back({"Rgb8WebpLossless", With(testing::RgbPage(37, 29, 8, COMPRESSION_WEBP),
                                                  [](TestPage& s) { s.jpegQuality = 100; })});
    }
    // Palette pages keep their indexes.
    for (const uint16_t bits : {1, 2, 4, 8}) {
        cases.push_back({"Palette" + std::to_string(bits),
                         testing::PalettePage(37, 29, bits, COMPRESSION_LZW)});
    }
    // Colour.
    cases.push_back({"Rgb8None", testing::RgbPage(37, 29, 8)});
    cases.push_back({"Rgb8Lzw", testing::RgbPage(37, 29, 8, COMPRESSION_LZW)});
    cases.push_back({"Rgb16Deflate", testing::RgbPage(37, 29, 16, COMPRESSION_ADOBE_DEFLATE)});
    cases.push_back(
        {"Rgb8LzwPredictor", With(testing::RgbPage(37, 29, 8, COMPRESSION_LZW),
                                  [](TestPage& s) { s.predictor = PREDICTOR_HORIZONTAL; })});
    cases.push_back({"Rgb8Planar", With(testing::RgbPage(37, 29, 8), [](TestPage& s) {
                         s.planarConfig = PLANARCONFIG_SEPARATE;
                     })});
    cases.push_back(
        {"Rgb16PlanarLzw", With(testing::RgbPage(37, 29, 16, COMPRESSION_LZW),
                                [](TestPage& s) { s.planarConfig = PLANARCONFIG_SEPARATE; })});
    cases.push_back({"Rgb8Jpeg", testing::RgbPage(48, 32, 8, COMPRESSION_JPEG), 16});
    cases.push_back({"YCbCrJpeg",
                     With(testing::RgbPage(48, 32, 8, COMPRESSION_JPEG),
                          [](TestPage& s) { s.photometric = PHOTOMETRIC_YCBCR; }),
                     24});
    cases.push_back({"Rgba8UnassociatedAlpha",
                     With(testing::RgbPage(37, 29, 8, COMPRESSION_LZW), [](TestPage& s) {
                         s.samplesPerPixel = 4;
                         s.extraSamples = 1;
                         s.extraSampleKind = EXTRASAMPLE_UNASSALPHA;
                     })});
    cases.push_back({"GrayAlpha8", With(testing::GrayPage(37, 29, 8), [](TestPage& s) {
                         s.samplesPerPixel = 2;
                         s.extraSamples = 1;
                         s.extraSampleKind = EXTRASAMPLE_ASSOCALPHA;
                     })});
    cases.push_back({"Cmyk8", With(testing::RgbPage(37, 29, 8), [](TestPage& s) {
                         s.samplesPerPixel = 4;
                         s.photometric = PHOTOMETRIC_SEPARATED;
                     })});
    cases.push_back({"Cmyk16Planar", With(testing::RgbPage(37, 29, 16), [](TestPage& s) {
                         s.samplesPerPixel = 4;
                         s.photometric = PHOTOMETRIC_SEPARATED;
                         s.planarConfig = PLANARCONFIG_SEPARATE;
                     })});
    // Tiles, including partial tiles at the right and bottom edges.
    cases.push_back({"TiledBilevelG4", With(testing::BilevelPage(70, 45, COMPRESSION_CCITTFAX4),
                                            [](TestPage& s) { s.tiled = true; })});
    cases.push_back({"TiledGray4", With(testing::GrayPage(70, 45, 4, COMPRESSION_LZW),
                                        [](TestPage& s) { s.tiled = true; })});
    cases.push_back({"TiledGray16", With(testing::GrayPage(70, 45, 16, COMPRESSION_ADOBE_DEFLATE),
                                         [](TestPage& s) { s.tiled = true; })});
    cases.push_back(
        {"TiledRgbPlanar", With(testing::RgbPage(70, 45, 8, COMPRESSION_LZW), [](TestPage& s) {
             s.tiled = true;
             s.planarConfig = PLANARCONFIG_SEPARATE;
         })});
    cases.push_back(
        {"TiledRgbJpeg",
         With(testing::RgbPage(70, 45, 8, COMPRESSION_JPEG), [](TestPage& s) { s.tiled = true; }),
         16});
    return cases;
}

void PrintTo(const DecodeCase& c, std::ostream* out) {
    *out << c.name;
}

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, DecodedPixelsMatchWhatWasWritten) {
    const DecodeCase& c = GetParam();
    testing::TempDir dir;
    const std::string path = dir.File("page.tif");
    testing::WriteTiffFile(path, {c.layout});

    EngineDocument document;
    document.Open(path);
    ASSERT_EQ(document.PageCount(), 1);
    const PageInfo info = document.Info(0);
    EXPECT_TRUE(info.decodable);
    EXPECT_EQ(info.compression, c.layout.compression);
    const auto raster = document.Decode(0);
    ASSERT_EQ(raster->width, c.layout.width);
    ASSERT_EQ(raster->height, c.layout.height);
    // The page stays in its own depth and colour model.
    const uint16_t photometric =
        c.layout.photometric == PHOTOMETRIC_YCBCR ? PHOTOMETRIC_RGB : c.layout.photometric;
    ASSERT_EQ(raster->photometric, photometric);
    ASSERT_EQ(raster->bitsPerSample, c.layout.bitsPerSample);
    ASSERT_EQ(raster->samplesPerPixel, c.layout.samplesPerPixel);
    EXPECT_EQ(raster->extraSamples, c.layout.extraSamples);
    EXPECT_EQ(raster->hasAlpha, c.layout.extraSamples > 0);
    EXPECT_EQ(raster->stride, c.layout.RowBytes());
    if (!c.layout.colorMap.empty()) {
        EXPECT_EQ(raster->colorMap, c.layout.colorMap);
    }
    int worst = 0;
    for (uint32_t y = 0; y < c.layout.height; ++y) {
        for (uint32_t x = 0; x < c.layout.width; ++x) {
            for (uint16_t s = 0; s < c.layout.samplesPerPixel; ++s) {
                const auto want = static_cast<int>(
                    testing::SampleAt(c.layout.pixels, c.layout.RowBytes(), c.layout.bitsPerSample,
                                      c.layout.samplesPerPixel, x, y, s));
                const auto got = static_cast<int>(
                    testing::SampleAt(raster->data, raster->stride, raster->bitsPerSample,
                                      raster->samplesPerPixel, x, y, s));
                worst = std::max(worst, std::abs(want - got));
                if (worst > c.tolerance) {
                    FAIL() << "sample " << s << " of pixel (" << x << ", " << y << "): wrote "
                           << want << ", read " << got;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, DecodeTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

// Depths a raster cannot hold as stored (odd bit counts, signed samples) are
// widened to 8 or 16 bits: samples stretched to the full range, palette indexes
// kept as they are, signed samples offset by half the range.
struct WidenCase {
    const char* name;
    TestPage layout;
    uint16_t keptBits;
};

void PrintTo(const WidenCase& c, std::ostream* out) {
    *out << c.name;
}

class WidenTest : public ::testing::TestWithParam<WidenCase> {};

TEST_P(WidenTest, SamplesAreWidenedToTheKeptDepth) {
    const WidenCase& c = GetParam();
    testing::TempDir dir;
    testing::WriteTiffFile(dir.File("page.tif"), {c.layout});
    EngineDocument document;
    document.Open(dir.File("page.tif"));
    const auto raster = document.Decode(0);
    ASSERT_EQ(raster->bitsPerSample, c.keptBits);
    ASSERT_EQ(raster->samplesPerPixel, c.layout.samplesPerPixel);
    ASSERT_EQ(raster->photometric, c.layout.photometric);
    const uint32_t inMax = (1u << c.layout.bitsPerSample) - 1;
    const uint32_t outMax = (1u << c.keptBits) - 1;
    const bool palette = c.layout.photometric == PHOTOMETRIC_PALETTE;
    for (uint32_t y = 0; y < c.layout.height; ++y) {
        for (uint32_t x = 0; x < c.layout.width; ++x) {
            for (uint16_t s = 0; s < c.layout.samplesPerPixel; ++s) {
                uint32_t v =
                    testing::SampleAt(c.layout.pixels, c.layout.RowBytes(), c.layout.bitsPerSample,
                                      c.layout.samplesPerPixel, x, y, s);
                if (c.layout.sampleFormat == SAMPLEFORMAT_INT) {
                    v ^= 1u << (c.layout.bitsPerSample - 1);
                }
                const uint32_t want = palette ? v : (v * outMax + inMax / 2) / inMax;
                ASSERT_EQ(testing::SampleAt(raster->data, raster->stride, raster->bitsPerSample,
                                            raster->samplesPerPixel, x, y, s),
                          want)
                    << "sample " << s << " at (" << x << ", " << y << ")";
            }
        }
    }
    if (palette) {
        ASSERT_EQ(raster->colorMap.size(), 3u * 256);
        const size_t n = size_t{1} << c.layout.bitsPerSample;
        for (size_t i = 0; i < n; ++i) {
            EXPECT_EQ(raster->colorMap[256 + i], c.layout.colorMap[n + i]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Depths, WidenTest,
    ::testing::Values(WidenCase{"Gray12", testing::GrayPage(21, 9, 12, COMPRESSION_LZW), 16},
                      WidenCase{"Gray3", testing::GrayPage(21, 9, 3), 8},
                      WidenCase{"Gray6Deflate",
                                testing::GrayPage(21, 9, 6, COMPRESSION_ADOBE_DEFLATE), 8},
                      WidenCase{"Rgb4", testing::RgbPage(21, 9, 4), 8},
                      WidenCase{"Rgb12Planar",
                                With(testing::RgbPage(21, 9, 12),
                                     [](TestPage& s) { s.planarConfig = PLANARCONFIG_SEPARATE; }),
                                16},
                      WidenCase{"Palette3", testing::PalettePage(21, 9, 3), 8},
                      WidenCase{"SignedGray16",
                                With(testing::GrayPage(21, 9, 16),
                                     [](TestPage& s) { s.sampleFormat = SAMPLEFORMAT_INT; }),
                                16},
                      WidenCase{"SignedGray8",
                                With(testing::GrayPage(21, 9, 8),
                                     [](TestPage& s) { s.sampleFormat = SAMPLEFORMAT_INT; }),
                                8}),
    [](const auto& info) { return std::string(info.param.name); });

// Pages in colour models we do not keep (YCbCr without JPEG, CIE L*a*b*) come out
// as 8-bit RGB through libtiff's conversion. Each is written as neutral gray:
// even columns black, odd columns white.
TEST(OtherModelsTest, NeutralPagesComeOutAsMatchingRgb) {
    struct Model {
        const char* name;
        uint16_t photometric;
        uint8_t black[3];
        uint8_t white[3];
        int tolerance;  // libtiff maps L*a*b* white through its own display white point
    };
    for (const Model& model : {Model{"YCbCr", PHOTOMETRIC_YCBCR, {0, 128, 128}, {255, 128, 128}, 3},
                               Model{"CIELab", PHOTOMETRIC_CIELAB, {0, 0, 0}, {255, 0, 0}, 40}}) {
        SCOPED_TRACE(model.name);
        TestPage layout = testing::RgbPage(16, 6, 8);
        layout.photometric = model.photometric;
        layout.ycbcrSubsampling = model.photometric == PHOTOMETRIC_YCBCR ? 1 : 0;
        for (uint32_t y = 0; y < layout.height; ++y) {
            for (uint32_t x = 0; x < layout.width; ++x) {
                const uint8_t* value = x % 2 ? model.white : model.black;
                std::copy(value, value + 3, &layout.pixels[y * layout.RowBytes() + 3 * x]);
            }
        }
        testing::TempDir dir;
        testing::WriteTiffFile(dir.File("page.tif"), {layout});
        EngineDocument document;
        document.Open(dir.File("page.tif"));
        const auto raster = document.Decode(0);
        ASSERT_EQ(raster->photometric, PHOTOMETRIC_RGB);
        ASSERT_EQ(raster->bitsPerSample, 8);
        ASSERT_EQ(raster->samplesPerPixel, 3);
        for (uint32_t y = 0; y < layout.height; ++y) {
            for (uint32_t x = 0; x < layout.width; ++x) {
                for (uint16_t c = 0; c < 3; ++c) {
                    const int want = x % 2 ? 255 : 0;
                    const int got = raster->data[y * raster->stride + 3 * x + c];
                    ASSERT_NEAR(got, want, model.tolerance)
                        << "channel " << c << " at (" << x << ", " << y << ")";
                }
            }
        }
    }
}

}  // namespace
}  // namespace folio::engine
