// Opening files of every container kind and reading their page lists.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <fstream>

#include "common/error.h"
#include "common/error_numbers.h"
#include "support/open_page.h"
#include "support/raw_tiff_builder.h"

namespace folio::engine {
namespace {

using testing::FileOptions;
using testing::TestPage;

struct ContainerCase {
    const char* name;
    FileOptions options;
    const char* format;
};

void PrintTo(const ContainerCase& c, std::ostream* out) {
    *out << c.name;
}

class ContainerTest : public ::testing::TestWithParam<ContainerCase> {};

TEST_P(ContainerTest, OpensEveryPageWithItsDirectoryAndPixels) {
    const ContainerCase& c = GetParam();
    testing::TempDir dir;
    const std::vector<TestPage> pages = {
        testing::BilevelPage(64, 40, COMPRESSION_CCITTFAX4),
        testing::GrayPage(30, 20, 16, COMPRESSION_LZW),
        testing::RgbPage(12, 34, 8, COMPRESSION_ADOBE_DEFLATE),
    };
    auto document = testing::OpenPages(dir, pages, c.options);
    EXPECT_EQ(document->FormatName(), c.format);
    ASSERT_EQ(document->PageCount(), 3);
    uint64_t previousOffset = 0;
    for (int page = 0; page < 3; ++page) {
        const TestPage& layout = pages[static_cast<size_t>(page)];
        const PageInfo info = document->Info(page);
        EXPECT_EQ(info.width, layout.width);
        EXPECT_EQ(info.height, layout.height);
        EXPECT_EQ(info.bitsPerSample, layout.bitsPerSample);
        EXPECT_EQ(info.samplesPerPixel, layout.samplesPerPixel);
        EXPECT_EQ(info.photometric, layout.photometric);
        EXPECT_EQ(info.compression, layout.compression);
        EXPECT_NE(document->DirectoryOffset(page), previousOffset);
        previousOffset = document->DirectoryOffset(page);
        // Pages decode in any order, each from its own directory.
        const auto raster = document->Decode(2 - page);
        EXPECT_THAT(raster->data,
                    ::testing::ElementsAreArray(pages[static_cast<size_t>(2 - page)].pixels));
    }
}

INSTANTIATE_TEST_SUITE_P(Containers, ContainerTest,
                         ::testing::Values(ContainerCase{"LittleEndian", {}, "TIFF"},
                                           ContainerCase{"BigEndian", {.bigEndian = true}, "TIFF"},
                                           ContainerCase{"BigTiff", {.bigTiff = true}, "TIFF"},
                                           ContainerCase{"BigTiffBigEndian",
                                                         {.bigEndian = true, .bigTiff = true},
                                                         "TIFF"},
                                           ContainerCase{"Mdi", {.mdiHeader = true}, "MDI"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OpenTest, RecognisesTheFormatByContentNotByName) {
    testing::TempDir dir;
    const std::string mdiNamedTif = dir.File("scan.tif");
    testing::WriteTiffFile(dir.File("scan.mdi"), {testing::GrayPage(8, 8, 8)}, {.mdiHeader = true});
    testing::WriteFileBytes(mdiNamedTif, testing::ReadFileBytes(dir.File("scan.mdi")));
    EngineDocument document;
    document.Open(mdiNamedTif);
    EXPECT_EQ(document.FormatName(), "MDI");
    EXPECT_EQ(document.FilePath(), mdiNamedTif);
}

TEST(OpenTest, OpensPathsWithNonLatinCharacters) {
    testing::TempDir dir;
    const std::string path = dir.File("文書 факс.mdi");
    testing::WriteTiffFile(path, {testing::GrayPage(8, 8, 8)}, {.mdiHeader = true});
    EngineDocument document;
    document.Open(path);
    EXPECT_EQ(document.PageCount(), 1);
}

// Pages are reached through the directory offsets recorded at open, not by
// walking the chain again: damage to page 1's directory after opening does not
// stop page 3 from decoding.
TEST(OpenTest, LaterPagesAreReachedWithoutWalkingTheChain) {
    testing::TempDir dir;
    const std::vector<TestPage> pages = {testing::GrayPage(8, 8, 8), testing::GrayPage(9, 9, 8),
                                         testing::GrayPage(10, 10, 8)};
    auto document = testing::OpenPages(dir, pages);
    const uint64_t first = document->DirectoryOffset(0);
    auto bytes = testing::ReadFileBytes(document->FilePath());
    bytes[first] = 0xFF;  // an entry count far beyond the file
    bytes[first + 1] = 0xFF;
    {
        std::fstream file(document->FilePath(), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(first));
        file.write(reinterpret_cast<const char*>(&bytes[first]), 2);
    }
    EXPECT_THAT(document->Decode(2)->data, ::testing::ElementsAreArray(pages[2].pixels));
    EXPECT_THROW(document->Decode(0), Error);
}

TEST(OpenTest, OpensDocumentsHeldInMemory) {
    testing::TempDir dir;
    const TestPage layout = testing::BilevelPage(30, 10, COMPRESSION_CCITTFAX3);
    testing::WriteTiffFile(dir.File("a.mdi"), {layout, layout}, {.mdiHeader = true});
    EngineDocument document;
    document.OpenBytes(testing::ReadFileBytes(dir.File("a.mdi")), "a.mdi");
    EXPECT_EQ(document.PageCount(), 2);
    EXPECT_THAT(document.Decode(1)->data, ::testing::ElementsAreArray(layout.pixels));
    EXPECT_EQ(document.FilePath(), "");
}

TEST(OpenTest, ListsPagesOfTheMdiFormatsOwnCompressionsButRefusesTheirPixels) {
    struct Scheme {
        uint16_t number;
        const char* name;
        const char* message;
    };
    for (const Scheme& scheme :
         {Scheme{34718, "BLC", "BLC compression (34718) is not supported"},
          Scheme{34719, "MDI compression 34719", "MDI compression 34719 is not supported"},
          Scheme{34720, "MDI compression 34720", "MDI compression 34720 is not supported"}}) {
        testing::TempDir dir;
        testing::RawTiffBuilder builder;
        builder.AddSimplePage(16, 16, 1, 1, std::vector<uint8_t>(32, 0));
        builder.AddSimplePage(100, 50, 1, scheme.number, std::vector<uint8_t>(40, 0x55));
        auto bytes = builder.Bytes();
        bytes[0] = 'E', bytes[1] = 'P';
        const std::string path = dir.File("scan.mdi");
        testing::WriteFileBytes(path, bytes);

        EngineDocument document;
        document.Open(path);
        ASSERT_EQ(document.PageCount(), 2);
        const PageInfo info = document.Info(1);
        EXPECT_EQ(info.compression, scheme.number);
        EXPECT_EQ(info.compressionName, scheme.name);
        EXPECT_FALSE(info.decodable);
        EXPECT_EQ(info.width, 100u);
        EXPECT_TRUE(document.Info(0).decodable);
        EXPECT_NO_THROW(document.Decode(0));
        try {
            document.Decode(1);
            ADD_FAILURE() << "page 2 decoded";
        } catch (const Error& e) {
            EXPECT_EQ(e.Number(), errors::kUnsupportedCompression);
            EXPECT_EQ(e.Description(), path + ", page 2: " + scheme.message);
        }
    }
}

TEST(OpenTest, PageListSaysWhichLayoutsCanBeDecoded) {
    testing::TempDir dir;
    testing::RawTiffBuilder builder;
    builder.AddSimplePage(4, 4, 8, 1, std::vector<uint8_t>(16, 9));
    builder.AddSimplePage(4, 4, 24, 1, std::vector<uint8_t>(48, 9));  // 24-bit gray
    builder.AddSimplePage(4, 4, 12, 1, std::vector<uint8_t>(24, 9));  // 12-bit gray: widened
    testing::WriteFileBytes(dir.File("mixed.tif"), builder.Bytes());
    EngineDocument document;
    document.Open(dir.File("mixed.tif"));
    ASSERT_EQ(document.PageCount(), 3);
    EXPECT_TRUE(document.Info(0).decodable);
    EXPECT_FALSE(document.Info(1).decodable);
    EXPECT_TRUE(document.Info(2).decodable);
    EXPECT_NO_THROW(document.Decode(2));
}

struct ResolutionCase {
    const char* name;
    double xResolution;
    double yResolution;
    uint16_t unit;
    uint16_t orientation;
    int quarterTurns;
    double width;  // shown at zoom 1 on a 96-dpi screen
    double height;
};

void PrintTo(const ResolutionCase& c, std::ostream* out) {
    *out << c.name;
}

class ShownSizeTest : public ::testing::TestWithParam<ResolutionCase> {};

TEST_P(ShownSizeTest, ZoomOneIsThePhysicalSize) {
    const ResolutionCase& c = GetParam();
    testing::TempDir dir;
    TestPage layout = testing::BilevelPage(816, 408, COMPRESSION_CCITTFAX4);
    layout.xResolution = c.xResolution;
    layout.yResolution = c.yResolution;
    layout.resolutionUnit = c.unit;
    layout.orientation = c.orientation;
    auto document = testing::OpenPages(dir, {layout});
    document->RotatePage(0, c.quarterTurns * 90);
    const DisplaySize size = document->ShownSize(0, 1.0, 1.0, 96.0, 96.0);
    EXPECT_NEAR(size.width, c.width, 1e-3);
    EXPECT_NEAR(size.height, c.height, 1e-3);
    const DisplaySize zoomed = document->ShownSize(0, 2.0, 0.5, 96.0, 96.0);
    EXPECT_NEAR(zoomed.width, 2.0 * c.width, 1e-3);
    EXPECT_NEAR(zoomed.height, 0.5 * c.height, 1e-3);
    // Rendering at zoom 1 makes a picture of the page's shown shape.
    const RenderedImage whole =
        document->Render(0, 1.0, 1.0, 96.0, 96.0,
                         {0, 0, static_cast<int>(size.width), static_cast<int>(size.height)});
    EXPECT_EQ(whole.width, static_cast<int>(size.width));
}

INSTANTIATE_TEST_SUITE_P(
    Resolutions, ShownSizeTest,
    ::testing::Values(
        // 816 x 408 pixels at 204 x 98 dpi: 4 x 4.163 inches.
        ResolutionCase{"FaxFine", 204, 98, RESUNIT_INCH, 0, 0, 384, 408.0 / 98 * 96},
        ResolutionCase{"FaxTurned", 204, 98, RESUNIT_INCH, 0, 1, 408.0 / 98 * 96, 384},
        ResolutionCase{"FaxUpsideDown", 204, 98, RESUNIT_INCH, 0, 2, 384, 408.0 / 98 * 96},
        ResolutionCase{"Square300", 300, 300, RESUNIT_INCH, 0, 0, 816 * 96 / 300.0,
                       408 * 96 / 300.0},
        ResolutionCase{"Centimetres", 80, 80, RESUNIT_CENTIMETER, 0, 0, 816 / 80.0 / 2.54 * 96,
                       408 / 80.0 / 2.54 * 96},
        ResolutionCase{"NoResolution", 0, 0, RESUNIT_INCH, 0, 0, 816, 408},
        ResolutionCase{"NoResolutionTurned", 0, 0, RESUNIT_INCH, 0, 3, 408, 816},
        ResolutionCase{"FaxNoUnit", 204, 98, RESUNIT_NONE, 0, 0, 384, 408.0 / 98 * 96},
        ResolutionCase{"NoUnitKeepsPixelShape", 2, 1, RESUNIT_NONE, 0, 0, 816, 816},
        // Stored as columns: the upright page is 408 x 816 at 98 x 204 dpi.
        ResolutionCase{"OrientationTransposed", 204, 98, RESUNIT_INCH, ORIENTATION_RIGHTTOP, 0,
                       408.0 / 98 * 96, 384}),
    [](const auto& info) { return std::string(info.param.name); });

class OrientationTest : public ::testing::TestWithParam<uint16_t> {};

TEST_P(OrientationTest, PagesComeOutUpright) {
    const uint16_t orientation = GetParam();
    testing::TempDir dir;
    for (const uint16_t bits : {1, 8}) {
        TestPage layout = bits == 1 ? testing::BilevelPage(13, 7, COMPRESSION_PACKBITS)
                                    : testing::GrayPage(13, 7, 8);
        layout.orientation = orientation;
        auto document = testing::OpenPages(dir, {layout});
        const auto raster = document->Decode(0);
        const bool transposed = orientation >= 5;
        ASSERT_EQ(raster->width, transposed ? 7u : 13u);
        ASSERT_EQ(raster->height, transposed ? 13u : 7u);
        EXPECT_EQ(document->Info(0).width, raster->width);
        for (uint32_t dy = 0; dy < raster->height; ++dy) {
            for (uint32_t dx = 0; dx < raster->width; ++dx) {
                // Where the upright pixel (dx, dy) is stored, by the TIFF definition
                // of each orientation (row 0 / column 0 on which side).
                uint32_t sx = dx, sy = dy;
                switch (orientation) {
                    case 2:
                        sx = 12 - dx;
                        break;
                    case 3:
                        sx = 12 - dx, sy = 6 - dy;
                        break;
                    case 4:
                        sy = 6 - dy;
                        break;
                    case 5:
                        sx = dy, sy = dx;
                        break;
                    case 6:
                        sx = dy, sy = 6 - dx;
                        break;
                    case 7:
                        sx = 12 - dy, sy = 6 - dx;
                        break;
                    case 8:
                        sx = 12 - dy, sy = dx;
                        break;
                    default:
                        break;
                }
                ASSERT_EQ(testing::SampleAt(raster->data, raster->stride, bits, 1, dx, dy, 0),
                          testing::SampleAt(layout.pixels, layout.RowBytes(), bits, 1, sx, sy, 0))
                    << bits << "-bit, at (" << dx << ", " << dy << ")";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllOrientations, OrientationTest, ::testing::Range<uint16_t>(1, 9));

}  // namespace
}  // namespace folio::engine
