#include "engine/write/tiff_writer.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <numeric>
#include <random>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/document/page_source.h"
#include "engine/write/decode_ahead.h"
#include "engine/write/pdf_writer.h"
#include "export/fake_page_source.h"
#include "support/raster_oracle.h"
#include "support/temp_dir.h"
#include "support/tiff_readback.h"

namespace folio::engine {
namespace {

using namespace testing;

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// ---- Decoded pages: every depth and colour model, every turn, read back exactly.

struct Kind {
    const char* name;
    TestPage layout;
    uint16_t expectedCompression;
};

TestPage CmykPage() {
    TestPage layout = RgbPage(21, 13, 8);
    layout.samplesPerPixel = 4;
    layout.photometric = PHOTOMETRIC_SEPARATED;
    layout.pixels = PatternPixels(layout, 3);
    return layout;
}

TestPage RgbaPage(bool associated) {
    TestPage layout = RgbPage(19, 11, 8);
    layout.samplesPerPixel = 4;
    layout.extraSamples = 1;
    layout.extraSampleKind = associated ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
    layout.pixels = PatternPixels(layout, 4);
    return layout;
}

TestPage GrayAlphaPage() {
    TestPage layout = GrayPage(14, 9, 16);
    layout.samplesPerPixel = 2;
    layout.extraSamples = 1;
    layout.pixels = PatternPixels(layout, 5);
    return layout;
}

// An extra sample that is not alpha stays "unspecified".
TestPage RgbExtraPage() {
    TestPage layout = RgbaPage(false);
    layout.extraSampleKind = EXTRASAMPLE_UNSPECIFIED;
    return layout;
}

std::vector<Kind> Kinds() {
    return {
        {"BilevelMinIsWhite", BilevelPage(77, 45, COMPRESSION_NONE, PHOTOMETRIC_MINISWHITE),
         COMPRESSION_CCITTFAX4},
        {"BilevelMinIsBlack", BilevelPage(64, 33, COMPRESSION_NONE, PHOTOMETRIC_MINISBLACK),
         COMPRESSION_CCITTFAX4},
        {"Gray2", GrayPage(23, 17, 2), COMPRESSION_ADOBE_DEFLATE},
        {"Gray4", GrayPage(23, 17, 4), COMPRESSION_ADOBE_DEFLATE},
        {"Gray8", GrayPage(31, 20, 8), COMPRESSION_ADOBE_DEFLATE},
        {"Gray16", GrayPage(31, 20, 16), COMPRESSION_ADOBE_DEFLATE},
        {"Palette4", PalettePage(15, 12, 4), COMPRESSION_ADOBE_DEFLATE},
        {"Palette8", PalettePage(15, 12, 8), COMPRESSION_ADOBE_DEFLATE},
        {"Rgb8", RgbPage(25, 14, 8), COMPRESSION_ADOBE_DEFLATE},
        {"Rgb16", RgbPage(25, 14, 16), COMPRESSION_ADOBE_DEFLATE},
        {"RgbAssociatedAlpha", RgbaPage(true), COMPRESSION_ADOBE_DEFLATE},
        {"RgbUnassociatedAlpha", RgbaPage(false), COMPRESSION_ADOBE_DEFLATE},
        {"GrayAlpha16", GrayAlphaPage(), COMPRESSION_ADOBE_DEFLATE},
        {"RgbUnspecifiedExtra", RgbExtraPage(), COMPRESSION_ADOBE_DEFLATE},
        {"Cmyk8", CmykPage(), COMPRESSION_ADOBE_DEFLATE},
    };
}

class DecodedPageExport : public ::testing::TestWithParam<std::tuple<Kind, int>> {};

TEST_P(DecodedPageExport, ReadsBackPixelIdenticalAsTurned) {
    const auto& [kind, turns] = GetParam();
    TempDir dir;
    FakePageSource source;
    FakePage page = PageFromLayout(WithResolution(kind.layout, 200, 100));
    page.turns = turns;
    source.Add(page);

    WriteTiff(source, dir.File("out.tiff"));

    const auto pages = ReadBack(dir.File("out.tiff"));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].compression, kind.expectedCompression);
    EXPECT_EQ(pages[0].orientation, ORIENTATION_TOPLEFT);
    const Raster expected = ReferenceRotate(page.raster, turns);
    EXPECT_TRUE(SamePixels(pages[0].pixels, expected));
    EXPECT_EQ(pages[0].pixels.extraSamples, expected.extraSamples);
    EXPECT_EQ(pages[0].pixels.associatedAlpha, expected.associatedAlpha);
    EXPECT_EQ(pages[0].pixels.hasAlpha, expected.hasAlpha);
    // A quarter turn swaps the resolutions with the axes.
    ASSERT_TRUE(pages[0].hasResolution);
    EXPECT_FLOAT_EQ(pages[0].xResolution, turns % 2 ? 100.f : 200.f);
    EXPECT_FLOAT_EQ(pages[0].yResolution, turns % 2 ? 200.f : 100.f);
}

INSTANTIATE_TEST_SUITE_P(KindsAndTurns, DecodedPageExport,
                         ::testing::Combine(::testing::ValuesIn(Kinds()),
                                            ::testing::Values(0, 1, 2, 3)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_turns" +
                                    std::to_string(std::get<1>(info.param));
                         });

TEST(TiffWriterExport, ReportsEachPageToTheProgressItIsGivenOnly) {
    TempDir dir;
    FakePageSource source;
    source.Add(PageFromLayout(GrayPage(10, 10, 8)));
    source.Add(PageFromLayout(BilevelPage(40, 30, COMPRESSION_NONE)));
    source.Add(PageFromLayout(RgbPage(12, 7, 8)));
    std::vector<std::pair<int, int>> reported;
    const Progress watch = [&](int done, int total) {
        reported.emplace_back(done, total);
        return true;
    };
    WriteTiff(source, dir.File("watched.tiff"), {}, nullptr, {}, watch);
    WriteTiff(source, dir.File("unwatched.tiff"));
    const std::vector<std::pair<int, int>> each{{0, 3}, {1, 3}, {2, 3}, {3, 3}};
    EXPECT_EQ(reported, each);
}

// Cancelling at the start, in the middle or after the last page: nothing is left
// behind and an existing target keeps its bytes.
TEST(TiffWriterExport, CancelledExportLeavesTheFolderAsItWas) {
    for (const int cancelAt : {0, 2, 3}) {
        TempDir dir;
        FakePageSource source;
        for (int i = 0; i < 3; ++i) {
            source.Add(PageFromLayout(RgbPage(30, 20, 8)));
        }
        WriteFileBytes(dir.File("out.tiff"), {'o', 'l', 'd'});
        const std::vector<std::string> before = FolderEntries(dir.Path());
        const Progress watch = [cancelAt](int done, int) { return done != cancelAt; };
        try {
            WriteTiff(source, dir.File("out.tiff"), {}, nullptr, {}, watch);
            ADD_FAILURE() << "export cancelled at " << cancelAt << " went on";
        } catch (const Error& e) {
            EXPECT_EQ(e.Number(), errors::kCancel) << e.what();
        }
        EXPECT_EQ(ReadFileBytes(dir.File("out.tiff")), (std::vector<uint8_t>{'o', 'l', 'd'}));
        EXPECT_EQ(FolderEntries(dir.Path()), before) << "cancelled at " << cancelAt;
    }
}

TEST(TiffWriterExport, ManyPagesKeepOrderAndPagesWithoutResolutionGetNone) {
    TempDir dir;
    FakePageSource source;
    source.Add(PageFromLayout(GrayPage(10, 10, 8)));
    source.Add(PageFromLayout(WithResolution(BilevelPage(40, 30, COMPRESSION_NONE), 300, 300)));
    source.Add(PageFromLayout(RgbPage(12, 7, 8)));
    WriteTiff(source, dir.File("three.tiff"));
    const auto pages = ReadBack(dir.File("three.tiff"));
    ASSERT_EQ(pages.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(SamePixels(pages[i].pixels, source.Page(i).raster)) << "page " << i;
    }
    EXPECT_FALSE(pages[0].hasResolution);
    EXPECT_TRUE(pages[1].hasResolution);
}

TEST(TiffWriterExport, UnitlessResolutionKeepsThePixelShapeAcrossTurns) {
    TempDir dir;
    FakePageSource source;
    FakePage page = PageFromLayout(BilevelPage(40, 20, COMPRESSION_NONE));
    page.info.pixelAspect = 2.0;  // pixels twice as tall as wide
    page.turns = 1;
    source.Add(page);
    page.turns = 2;
    source.Add(page);
    WriteTiff(source, dir.File("aspect.tiff"));
    const auto pages = ReadBack(dir.File("aspect.tiff"));
    ASSERT_EQ(pages.size(), 2u);
    for (const auto& p : pages) {
        ASSERT_TRUE(p.hasResolution);
        EXPECT_EQ(p.resolutionUnit, RESUNIT_NONE);
    }
    EXPECT_FLOAT_EQ(pages[0].xResolution / pages[0].yResolution, 0.5f);
    EXPECT_FLOAT_EQ(pages[1].xResolution / pages[1].yResolution, 2.0f);
}

TEST(TiffWriterExport, ManyDecodedPagesComeOutInOrder) {
    // More pages than compressing threads, of different sizes and turns, so that
    // they finish out of order.
    TempDir dir;
    FakePageSource source;
    for (int i = 0; i < 12; ++i) {
        TestPage layout = i % 3 == 0 ? RgbPage(60 + i * 7, 30, 8) : GrayPage(10 + i, 8 + i, 8);
        layout.pixels = PatternPixels(layout, static_cast<uint32_t>(i + 1));
        FakePage page = PageFromLayout(layout);
        page.turns = i % 4;
        source.Add(page);
    }
    WriteTiff(source, dir.File("many.tiff"));
    const auto pages = ReadBack(dir.File("many.tiff"));
    ASSERT_EQ(pages.size(), 12u);
    for (int i = 0; i < 12; ++i) {
        EXPECT_TRUE(SamePixels(pages[i].pixels, ReferenceRotate(source.Page(i).raster, i % 4)))
            << "page " << i;
    }
}

// ---- Decoding ahead: bounded by the decoded bytes in flight, not by pages.

struct AheadCase {
    const char* name;
    std::vector<uint32_t> widths;  // 8-bit gray pages 10 rows high: 10 bytes a column
    std::vector<bool> copied;      // pages started only when asked for (empty: none)
    uint64_t budget;
    size_t mostPagesInFlight;
};

void PrintTo(const AheadCase& c, std::ostream* out) {
    *out << c.name;
}

class DecodingAhead : public ::testing::TestWithParam<AheadCase> {};

TEST_P(DecodingAhead, KeepsDecodedBytesWithinTheBudgetExceptForOnePageAlone) {
    const AheadCase& c = GetParam();
    FakePageSource source;
    std::vector<DecodeAhead<int>::Page> pages;
    for (size_t i = 0; i < c.widths.size(); ++i) {
        source.Add(PageFromLayout(GrayPage(c.widths[i], 10, 8)));
        const bool copied = !c.copied.empty() && c.copied[i];
        pages.push_back({uint64_t{c.widths[i]} * 10, !copied});
    }
    // Pages decoded and not yet taken back, as the source sees them.
    std::map<int, uint64_t> inFlight;
    size_t mostPages = 0;
    int asked = -1;
    DecodeAhead<int> stage(
        pages,
        [&](int page) {
            std::shared_ptr<const Raster> decoded = source.Decode(page);
            const uint64_t held =
                std::accumulate(inFlight.begin(), inFlight.end(), uint64_t{0},
                                [](uint64_t sum, const auto& entry) { return sum + entry.second; });
            // A page started beside others fits the budget with them; the page asked
            // for only has to start beside no more than the budget.
            EXPECT_TRUE(inFlight.empty() || held + decoded->data.size() <= c.budget ||
                        (page == asked && held <= c.budget))
                << "page " << page << " started beside " << held << " bytes";
            inFlight[page] = decoded->data.size();
            mostPages = std::max(mostPages, inFlight.size());
            return DecodeAhead<int>::Started{
                std::nullopt,
                [decoded, page] { return static_cast<int>(decoded->data.size()) + page; }};
        },
        c.budget, 2);
    for (int page = 0; page < source.PageCount(); ++page) {
        if (!pages[static_cast<size_t>(page)].ahead && page % 2 == 0) {
            continue;  // copied as planned: never decoded
        }
        asked = page;
        EXPECT_EQ(stage.Take(page),
                  static_cast<int>(c.widths[static_cast<size_t>(page)] * 10) + page);
        inFlight.erase(page);
    }
    EXPECT_EQ(mostPages, c.mostPagesInFlight);
    int copiedAsPlanned = 0;
    for (size_t i = 0; i < pages.size(); ++i) {
        copiedAsPlanned += !pages[i].ahead && i % 2 == 0 ? 1 : 0;
    }
    EXPECT_EQ(source.DecodeCalls(), source.PageCount() - copiedAsPlanned);
}

INSTANTIATE_TEST_SUITE_P(
    Budgets, DecodingAhead,
    ::testing::Values(
        AheadCase{"SmallPagesSideBySide", std::vector<uint32_t>(8, 100), {}, 3000, 3},
        AheadCase{"LargePagesOneAtATime", {500, 500, 500}, {}, 3000, 1},
        AheadCase{"OneLargePageAloneAmongSmallOnes", {100, 100, 500, 100, 100, 100}, {}, 3000, 3},
        AheadCase{"CopiedPagesAreNotDecodedAhead",
                  {100, 100, 100, 100, 100, 100},
                  {true, false, true, true, false, false},
                  2000,
                  2}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Pages copied without decoding.

// Odd but valid: many small strips, reversed bit order. A re-encode would not
// reproduce these bytes.
TestPage OddG4Page() {
    TestPage layout = BilevelPage(100, 60, COMPRESSION_CCITTFAX4);
    layout.rowsPerStrip = 7;
    layout.fillOrder = FILLORDER_LSB2MSB;
    layout.xResolution = 204;
    layout.yResolution = 98;
    return layout;
}

TestPage LzwGrayPage() {
    TestPage layout = GrayPage(40, 30, 8, COMPRESSION_LZW);
    layout.predictor = PREDICTOR_HORIZONTAL;
    layout.rowsPerStrip = 5;
    return layout;
}

TestPage TiledDeflateRgbPage() {
    TestPage layout = RgbPage(40, 40, 8, COMPRESSION_ADOBE_DEFLATE);
    layout.tiled = true;
    return layout;
}

class CopyUnchanged : public ::testing::TestWithParam<bool /* mdi header */> {};

TEST_P(CopyUnchanged, PagesInTargetFormCopiedByteForByteWithoutDecoding) {
    TempDir dir;
    const std::vector<TestPage> layouts{OddG4Page(), LzwGrayPage(), TiledDeflateRgbPage()};
    const std::string input = dir.File(GetParam() ? "in.mdi" : "in.tif");
    FileOptions options;
    options.mdiHeader = GetParam();
    WriteTiffFile(input, layouts, options);
    FakePageSource source(input, layouts);

    WriteTiff(source, dir.File("out.tiff"));

    EXPECT_EQ(source.DecodeCalls(), 0);
    const auto in = ReadBack(input);
    const auto out = ReadBack(dir.File("out.tiff"));
    ASSERT_EQ(out.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(out[i].rawChunks, in[i].rawChunks) << "page " << i;
        EXPECT_EQ(out[i].compression, in[i].compression);
        EXPECT_TRUE(SamePixels(out[i].pixels, in[i].pixels)) << "page " << i;
    }
    EXPECT_TRUE(out[2].tiled);
    EXPECT_FLOAT_EQ(out[0].xResolution, 204.f);
    EXPECT_FLOAT_EQ(out[0].yResolution, 98.f);
}

TEST(CopyUnchangedFallback, PageWhoseDataDisagreesWithItsDescriptionIsDecoded) {
    TempDir dir;
    const TestPage layout = BilevelPage(50, 20, COMPRESSION_LZW);
    WriteTiffFile(dir.File("in.tif"), {layout, OddG4Page()});
    FakePageSource source(dir.File("in.tif"), {layout, OddG4Page()});
    source.Page(0).info.compression = COMPRESSION_CCITTFAX4;  // says G4, holds LZW
    WriteTiff(source, dir.File("out.tiff"));
    EXPECT_EQ(source.DecodeCalls(), 1);
    const auto out = ReadBack(dir.File("out.tiff"));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].compression, COMPRESSION_CCITTFAX4);
    EXPECT_TRUE(SamePixels(out[0].pixels, source.Page(0).raster));
    EXPECT_EQ(out[1].rawChunks, ReadBack(dir.File("in.tif"))[1].rawChunks);
}

TEST(CopyUnchangedFallback, DirectoryNotMatchingTheDocumentIsNotCopiedFrom) {
    // As when the file changed on disk after the document was opened.
    TempDir dir;
    WriteTiffFile(dir.File("in.tif"), {LzwGrayPage()});
    FakePageSource source(dir.File("in.tif"), {LzwGrayPage()});
    source.Page(0).info.width += 1;
    WriteTiff(source, dir.File("out.tiff"));
    EXPECT_EQ(source.DecodeCalls(), 1);
    const auto out = ReadBack(dir.File("out.tiff"));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(SamePixels(out[0].pixels, source.Page(0).raster));
}

INSTANTIATE_TEST_SUITE_P(TiffAndMdi, CopyUnchanged, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Mdi" : "Tiff"; });

struct ReencodeCase {
    const char* name;
    TestPage layout;
    int turns;
    uint16_t expectedCompression;
};

class Reencoded : public ::testing::TestWithParam<ReencodeCase> {};

TEST_P(Reencoded, PageNotInTargetFormIsDecodedAndWrittenAgain) {
    const ReencodeCase& c = GetParam();
    TempDir dir;
    WriteTiffFile(dir.File("in.tif"), {c.layout});
    FakePageSource source(dir.File("in.tif"), {c.layout});
    source.Page(0).turns = c.turns;

    WriteTiff(source, dir.File("out.tiff"));

    EXPECT_EQ(source.DecodeCalls(), 1);
    const auto out = ReadBack(dir.File("out.tiff"));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].compression, c.expectedCompression);
    EXPECT_EQ(out[0].orientation, ORIENTATION_TOPLEFT);
    EXPECT_TRUE(SamePixels(out[0].pixels, ReferenceRotate(source.Page(0).raster, c.turns)));
}

TestPage Oriented(TestPage layout, uint16_t orientation) {
    layout.orientation = orientation;
    return layout;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Reencoded,
    ::testing::Values(
        ReencodeCase{"TurnedG4", OddG4Page(), 1, COMPRESSION_CCITTFAX4},
        ReencodeCase{"HalfTurnedLzw", LzwGrayPage(), 2, COMPRESSION_ADOBE_DEFLATE},
        ReencodeCase{"BilevelLzw", BilevelPage(50, 20, COMPRESSION_LZW), 0, COMPRESSION_CCITTFAX4},
        ReencodeCase{"BilevelG3", BilevelPage(50, 20, COMPRESSION_CCITTFAX3), 0,
                     COMPRESSION_CCITTFAX4},
        ReencodeCase{"GrayUncompressed", GrayPage(20, 20, 8), 0, COMPRESSION_ADOBE_DEFLATE},
        ReencodeCase{"GrayPackBits", GrayPage(20, 20, 8, COMPRESSION_PACKBITS), 0,
                     COMPRESSION_ADOBE_DEFLATE},
        ReencodeCase{"G4NotUpright", Oriented(BilevelPage(30, 20, COMPRESSION_CCITTFAX4), 3), 0,
                     COMPRESSION_CCITTFAX4}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Failures leave the target as it was and no stray file.

class ExportFailure : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFileBytes(dir.File("out.tiff"), {'o', 'l', 'd'});
        source.Add(PageFromLayout(GrayPage(20, 20, 8)));
        source.Add(PageFromLayout(BilevelPage(30, 30, COMPRESSION_NONE)));
        before = FolderEntries(dir.Path());
    }

    // Runs the export, expecting it to fail; returns the error.
    Error Fails() {
        try {
            WriteTiff(source, dir.File("out.tiff"));
        } catch (const Error& e) {
            EXPECT_EQ(ReadFileBytes(dir.File("out.tiff")), (std::vector<uint8_t>{'o', 'l', 'd'}));
            EXPECT_EQ(FolderEntries(dir.Path()), before);
            return e;
        }
        ADD_FAILURE() << "export did not fail";
        return Error(0, "");
    }

    TempDir dir;
    FakePageSource source;
    std::vector<std::string> before;
};

TEST_F(ExportFailure, UndecodablePageNamesPageAndScheme) {
    FakePage blc = PageFromLayout(BilevelPage(30, 30, COMPRESSION_NONE));
    blc.info.compression = 34718;
    blc.info.compressionName = "BLC";
    blc.info.decodable = false;
    source.Add(blc);
    const Error e = Fails();
    EXPECT_EQ(e.Number(), errors::kUnsupportedCompression);
    EXPECT_NE(e.Description().find("page 3"), std::string::npos) << e.what();
    EXPECT_NE(e.Description().find("BLC compression (34718)"), std::string::npos) << e.what();
    EXPECT_NE(e.Description().find("out.tiff"), std::string::npos) << e.what();
    EXPECT_EQ(source.DecodeCalls(), 0) << "nothing should be decoded for a doomed export";
}

TEST_F(ExportFailure, DecodeFailureMidwayKeepsTheSourcesReason) {
    source.Page(1).failDecode = true;
    const Error e = Fails();
    EXPECT_NE(e.Description().find("page 2 cannot be decoded"), std::string::npos) << e.what();
}

TEST_F(ExportFailure, IncompletePixelsAreRefused) {
    source.Page(0).raster.data.resize(10);
    const Error e = Fails();
    EXPECT_NE(e.Description().find("page 1"), std::string::npos) << e.what();
}

// A file size limit, for its lifetime, makes writes past it fail as on a full disk.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = old_;
        limited.rlim_cur = bytes;
        applied_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }
    bool Applied() const { return applied_; }

  private:
    struct rlimit old_ {};
    void (*previous_)(int) = nullptr;
    bool applied_ = false;
};

TEST_F(ExportFailure, FullDiskLeavesNoPartialFile) {
    source.Add(PageFromLayout(RgbPage(600, 600, 16)));
    const FileSizeLimit limit(64 * 1024);
    ASSERT_TRUE(limit.Applied());
    const Error e = Fails();
    EXPECT_NE(e.Description().find("page 3"), std::string::npos) << e.what();
}

// Pages reach the file in large writes gathered across pages, for a TIFF and a
// PDF alike: one failing halfway through a long document still leaves nothing
// behind, and says why.
class ExportFailureWhileCopying : public ::testing::TestWithParam<bool> {};

TEST_P(ExportFailureWhileCopying, WriteFailingMidwayLeavesTheTargetAsItWas) {
    const bool pdf = GetParam();
    const std::string name = pdf ? "out.pdf" : "out.tiff";
    TempDir dir;
    std::vector<TestPage> layouts;
    std::mt19937 random(7);
    for (int i = 0; i < 4; ++i) {
        // Noise barely compresses: each page takes about 1.5 MB.
        TestPage layout = GrayPage(1000, 1000, 8, COMPRESSION_LZW);
        layout.pixels.resize(layout.RowBytes() * layout.height);
        for (uint8_t& b : layout.pixels) {
            b = static_cast<uint8_t>(random());
        }
        layouts.push_back(layout);
    }
    WriteTiffFile(dir.File("in.tif"), layouts);
    FakePageSource source(dir.File("in.tif"), layouts);
    WriteFileBytes(dir.File(name), {'o', 'l', 'd'});
    const std::vector<std::string> before = FolderEntries(dir.Path());
    try {
        const FileSizeLimit limit(std::filesystem::file_size(dir.File("in.tif")) / 2);
        ASSERT_TRUE(limit.Applied());
        if (pdf) {
            WritePdf({&source}, dir.File(name));
        } else {
            WriteTiff(source, dir.File(name));
        }
        ADD_FAILURE() << "export did not fail";
    } catch (const Error& e) {
        EXPECT_NE(e.Description().find(std::strerror(EFBIG)), std::string::npos) << e.what();
        EXPECT_NE(e.Description().find(name), std::string::npos) << e.what();
    }
    if (!pdf) {
        EXPECT_EQ(source.DecodeCalls(), 0);  // copied, never decoded
    }
    EXPECT_EQ(ReadFileBytes(dir.File(name)), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(FolderEntries(dir.Path()), before);
}

INSTANTIATE_TEST_SUITE_P(Outputs, ExportFailureWhileCopying, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Pdf" : "Tiff"; });

TEST(ExportTarget, MissingFolderOrFolderTargetRaisesNamingIt) {
    TempDir dir;
    FakePageSource source;
    source.Add(PageFromLayout(GrayPage(8, 8, 8)));
    for (const std::string& target :
         {dir.File("no-such-folder/out.tiff"), dir.Path(), dir.File("")}) {
        try {
            WriteTiff(source, target);
            ADD_FAILURE() << "no error for " << target;
        } catch (const Error& e) {
            EXPECT_NE(e.Description().find(target), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(FolderEntries(dir.Path()).empty());
}

TEST(ExportTarget, EmptyDocumentIsRefused) {
    TempDir dir;
    FakePageSource source;
    EXPECT_THROW(WriteTiff(source, dir.File("out.tiff")), Error);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.tiff")));
}

TEST(ExportTarget, ReplacedFileKeepsItsPermissionsNewFileGetsTheUsualOnes) {
    namespace fs = std::filesystem;
    TempDir dir;
    WriteFileBytes(dir.File("kept.tiff"), {'o', 'l', 'd'});
    fs::permissions(dir.File("kept.tiff"),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    FakePageSource source;
    source.Add(PageFromLayout(GrayPage(8, 8, 8)));
    WriteTiff(source, dir.File("kept.tiff"));
    EXPECT_EQ(fs::status(dir.File("kept.tiff")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    const mode_t mask = umask(022);
    WriteTiff(source, dir.File("new.tiff"));
    umask(mask);
    EXPECT_EQ(fs::status(dir.File("new.tiff")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
}

TEST(ExportTarget, ReplacesAnExistingFile) {
    TempDir dir;
    WriteFileBytes(dir.File("out.tiff"), {'o', 'l', 'd'});
    FakePageSource source;
    source.Add(PageFromLayout(GrayPage(8, 8, 8)));
    WriteTiff(source, dir.File("out.tiff"));
    EXPECT_EQ(ReadBack(dir.File("out.tiff")).size(), 1u);
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"out.tiff"});
}

// An existing file that is to be kept stays whole whenever it appears: there at
// the start, or made while the export runs (a second export of the same name, say).
class KeptTarget
    : public ::testing::TestWithParam<std::tuple<bool /* pdf */, bool /* meanwhile */>> {};

TEST_P(KeptTarget, IsNeverReplacedAndNothingIsLeftBehind) {
    // Plain copies: clang 14 cannot capture a structured binding in a lambda.
    const bool pdf = std::get<0>(GetParam());
    const bool meanwhile = std::get<1>(GetParam());
    TempDir dir;
    const std::string target = dir.File(pdf ? "out.pdf" : "out.tiff");
    if (!meanwhile) {
        WriteFileBytes(target, {'t', 'h', 'e', 'i', 'r', 's'});
    }
    FakePageSource source;
    source.Add(PageFromLayout(GrayPage(8, 8, 8)));
    source.Add(PageFromLayout(GrayPage(8, 8, 8)));
    // The file appears once the export has begun writing.
    const Progress race = [&](int done, int) {
        if (meanwhile && done == 1) {
            WriteFileBytes(target, {'t', 'h', 'e', 'i', 'r', 's'});
        }
        return true;
    };
    sys::AtomicFile::Options keep;
    keep.replace = false;
    try {
        if (pdf) {
            WritePdf({&source}, target, keep, nullptr, {}, race);
        } else {
            WriteTiff(source, target, keep, nullptr, {}, race);
        }
        ADD_FAILURE() << "the existing file was replaced";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errors::kFileAlreadyExists) << e.what();
        EXPECT_NE(e.Description().find(target), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadFileBytes(target), (std::vector<uint8_t>{'t', 'h', 'e', 'i', 'r', 's'}));
    EXPECT_EQ(FolderEntries(dir.Path()),
              std::vector<std::string>{std::filesystem::path(target).filename().string()});
}

INSTANTIATE_TEST_SUITE_P(WritersAndMoments, KeptTarget,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "Pdf" : "Tiff") +
                                    (std::get<1>(info.param) ? "MadeMeanwhile" : "ThereBefore");
                         });

}  // namespace
}  // namespace folio::engine
