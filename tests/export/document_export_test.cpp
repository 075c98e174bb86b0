// Export through the engine's own document: open, turn, SaveAs, open the result
// again and compare what the reader decodes on both sides.
#include <gtest/gtest.h>
#include <tiffio.h>

#include "engine/document/engine_document.h"
#include "engine/write/tiff_writer.h"
#include "support/raster_oracle.h"
#include "support/temp_dir.h"
#include "support/tiff_readback.h"

namespace folio::engine {
namespace {

using namespace testing;

struct SourceFile {
    const char* name;
    std::vector<TestPage> pages;
    FileOptions options;
};

TestPage Tiled(TestPage layout) {
    layout.tiled = true;
    return layout;
}

TestPage Planar(TestPage layout) {
    layout.planarConfig = PLANARCONFIG_SEPARATE;
    return layout;
}

TestPage Oriented(TestPage layout, uint16_t orientation) {
    layout.orientation = orientation;
    return layout;
}

TestPage Resolution(TestPage layout, double x, double y) {
    layout.xResolution = x;
    layout.yResolution = y;
    return layout;
}

FileOptions BigEndianBigTiff() {
    FileOptions options;
    options.bigEndian = true;
    options.bigTiff = true;
    return options;
}

FileOptions Mdi() {
    FileOptions options;
    options.mdiHeader = true;
    return options;
}

std::vector<SourceFile> Files() {
    return {
        {"MdiMixed",
         {Resolution(BilevelPage(120, 90, COMPRESSION_CCITTFAX4), 204, 98),
          GrayPage(40, 30, 8, COMPRESSION_ADOBE_DEFLATE), RgbPage(33, 21, 8, COMPRESSION_LZW)},
         Mdi()},
        {"BigEndianBigTiff",
         {GrayPage(31, 17, 16, COMPRESSION_LZW), PalettePage(19, 13, 4, COMPRESSION_PACKBITS),
          BilevelPage(70, 20, COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISBLACK)},
         BigEndianBigTiff()},
        {"TiledPlanarOriented",
         {Tiled(RgbPage(40, 36, 8, COMPRESSION_ADOBE_DEFLATE)),
          Planar(RgbPage(25, 15, 8, COMPRESSION_LZW)),
          Oriented(GrayPage(22, 14, 8, COMPRESSION_NONE), 6),
          Oriented(BilevelPage(48, 24, COMPRESSION_CCITTFAX4), 3)},
         {}},
        {"LossyJpeg", {RgbPage(48, 32, 8, COMPRESSION_JPEG)}, {}},
    };
}

class DocumentExport : public ::testing::TestWithParam<std::tuple<SourceFile, int>> {};

TEST_P(DocumentExport, ReopenedExportDecodesToTheTurnedSourcePixels) {
    const auto& [file, angle] = GetParam();
    TempDir dir;
    const std::string input = dir.File(std::string(file.name) + ".mdi");
    WriteTiffFile(input, file.pages, file.options);
    EngineDocument source;
    source.Open(input);
    for (int page = 0; page < source.PageCount(); ++page) {
        // Turn every other page, so turned and unturned pages mix.
        if (page % 2 == 0) {
            source.RotatePage(page, angle);
        }
    }

    WriteTiff(source, dir.File("out.tiff"));

    EngineDocument exported;
    exported.Open(dir.File("out.tiff"));
    ASSERT_EQ(exported.PageCount(), source.PageCount());
    const auto raw = ReadBack(dir.File("out.tiff"));
    for (int page = 0; page < source.PageCount(); ++page) {
        const Raster expected = ReferenceRotate(*source.Decode(page), source.QuarterTurns(page));
        EXPECT_TRUE(SamePixels(*exported.Decode(page), expected)) << "page " << page + 1;
        const PageInfo info = exported.Info(page);
        EXPECT_EQ(info.compression, info.IsBilevel() ? COMPRESSION_CCITTFAX4 : info.compression);
        EXPECT_NE(info.compression, COMPRESSION_JPEG) << "lossless output";
        EXPECT_EQ(raw[static_cast<size_t>(page)].orientation, ORIENTATION_TOPLEFT);
        const PageInfo before = source.Info(page);
        const bool swapped = source.QuarterTurns(page) % 2 == 1;
        EXPECT_DOUBLE_EQ(info.xDpi, swapped ? before.yDpi : before.xDpi) << "page " << page + 1;
        EXPECT_DOUBLE_EQ(info.yDpi, swapped ? before.xDpi : before.yDpi) << "page " << page + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(FilesAndAngles, DocumentExport,
                         ::testing::Combine(::testing::ValuesIn(Files()),
                                            ::testing::Values(0, 90, -90, 180)),
                         [](const auto& info) {
                             const int angle = std::get<1>(info.param);
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    (angle < 0 ? "minus" + std::to_string(-angle)
                                               : std::to_string(angle));
                         });

}  // namespace
}  // namespace folio::engine
