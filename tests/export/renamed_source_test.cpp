// Export and PDF read the file the document was opened from, never its path again:
// another file renamed over that path (an export to the same name, another program)
// changes nothing in what they write.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "engine/document/engine_document.h"
#include "engine/write/pdf_writer.h"
#include "engine/write/tiff_writer.h"
#include "support/temp_dir.h"
#include "support/tiff_fixture.h"
#include "support/tiff_readback.h"

namespace folio::engine {
namespace {

using testing::TestPage;

class RenamedSource : public ::testing::TestWithParam<bool> {};

TEST_P(RenamedSource, TheOutputHasTheOpenedPages) {
    const bool pdf = GetParam();
    testing::TempDir dir;
    std::vector<TestPage> pages;
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        TestPage bilevel = testing::BilevelPage(200, 100, COMPRESSION_CCITTFAX4);
        bilevel.pixels = testing::PatternPixels(bilevel, seed);
        pages.push_back(bilevel);
    }
    TestPage gray = testing::GrayPage(64, 48, 8, COMPRESSION_LZW);
    gray.pixels = testing::PatternPixels(gray, 4);
    pages.push_back(gray);
    const std::string path = dir.File("doc.tif");
    testing::WriteTiffFile(path, pages);
    EngineDocument document;
    document.Open(path);
    // The other file is this one with every page's data scrambled: its directories
    // lie where the opened one's do, so only what is copied tells them apart.
    const std::string other = dir.File("other.tif");
    std::vector<uint8_t> bytes = testing::ReadFileBytes(path);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    do {
        for (uint32_t strip = 0; strip < TIFFNumberOfStrips(tif); ++strip) {
            const uint64_t offset = TIFFGetStrileOffset(tif, strip);
            for (uint64_t i = 0; i < TIFFGetStrileByteCount(tif, strip); ++i) {
                bytes.at(offset + i) ^= 0x5A;
            }
        }
    } while (TIFFReadDirectory(tif) == 1);
    TIFFClose(tif);
    testing::WriteFileBytes(other, bytes);
    std::filesystem::rename(other, path);

    const std::string out = dir.File(pdf ? "out.pdf" : "out.tiff");
    if (pdf) {
        WritePdf({&document}, out);
        // pdfimages writes each page's image as PBM (1 bit, 1 black, rows padded to
        // whole bytes as the test pages have them) or, for gray, as PPM.
        const std::string command = "pdfimages '" + out + "' '" + dir.File("image") + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        for (size_t i = 0; i < pages.size(); ++i) {
            const bool bilevel = pages[i].bitsPerSample == 1;
            char name[32];
            std::snprintf(name, sizeof name, "image-%03zu.%s", i, bilevel ? "pbm" : "ppm");
            const std::vector<uint8_t> file = testing::ReadFileBytes(dir.File(name));
            std::string expected =
                std::string(bilevel ? "P4\n" : "P6\n") + std::to_string(pages[i].width) + " " +
                std::to_string(pages[i].height) + "\n" + (bilevel ? "" : "255\n");
            for (const uint8_t value : pages[i].pixels) {
                expected.append(bilevel ? 1 : 3, static_cast<char>(value));
            }
            EXPECT_TRUE(std::string(file.begin(), file.end()) == expected) << "page " << i + 1;
        }
    } else {
        WriteTiff(document, out);
        const auto back = testing::ReadBack(out);
        ASSERT_EQ(back.size(), pages.size());
        for (size_t i = 0; i < pages.size(); ++i) {
            EXPECT_EQ(back[i].pixels.width, pages[i].width) << "page " << i + 1;
            EXPECT_EQ(back[i].pixels.height, pages[i].height) << "page " << i + 1;
            EXPECT_TRUE(std::ranges::equal(back[i].pixels.data, pages[i].pixels))
                << "page " << i + 1;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Outputs, RenamedSource, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Pdf" : "Tiff"; });

}  // namespace
}  // namespace folio::engine
