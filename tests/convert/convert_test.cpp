// foliolens-convert run as a process, as users and scripts run it.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "convert/tool_run.h"
#include "support/raw_tiff_builder.h"
#include "support/temp_dir.h"
#include "support/tiff_fixture.h"

namespace folio::convert {
namespace {

using engine::testing::BilevelPage;
using engine::testing::FileOptions;
using engine::testing::GrayPage;
using engine::testing::RgbPage;
using engine::testing::TempDir;
using engine::testing::TestPage;
using engine::testing::WriteFileBytes;
using engine::testing::WriteTiffFile;
using testing::RunTool;
using testing::ToolResult;

std::string SamplePath() {
    return FOLIO_SOURCE_TREE "/samples/sample.mdi";
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Reads page count and, per page, width, height and compression with libtiff.
struct TiffPage {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t compression = 0;
};

std::vector<TiffPage> ReadTiffPages(const std::string& path) {
    std::vector<TiffPage> pages;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif == nullptr) {
        return pages;
    }
    do {
        TiffPage page;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &page.width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &page.height);
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &page.compression);
        pages.push_back(page);
    } while (TIFFReadDirectory(tif) == 1);
    TIFFClose(tif);
    return pages;
}

// ---- info

TEST(ConvertInfo, ListsTheSamplePages) {
    const ToolResult r = RunTool({"info", SamplePath()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, ": MDI, 3 pages\n")) << r.out;
    EXPECT_TRUE(Contains(r.out,
                         "page 1: 2480 x 3508 pixels, 300 x 300 dpi, MinIsWhite, 1 bit, "
                         "CCITT G4 (4)\n"))
        << r.out;
    EXPECT_TRUE(Contains(r.out, "page 2: 827 x 1169 pixels, 100 x 100 dpi, MinIsBlack, 8 bits"))
        << r.out;
    EXPECT_TRUE(Contains(r.out, "page 3: 827 x 1169 pixels, 100 x 100 dpi, RGB, 3 x 8 bits, LZW"))
        << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(ConvertInfo, DescribesFilesOfEveryLayout) {
    TempDir dir;
    TestPage gray = GrayPage(30, 20, 16, COMPRESSION_LZW);
    gray.xResolution = 204;
    gray.yResolution = 98;
    TestPage tiled = RgbPage(40, 40, 8, COMPRESSION_ADOBE_DEFLATE);
    tiled.tiled = true;
    FileOptions bigEndian;
    bigEndian.bigEndian = true;
    bigEndian.bigTiff = true;
    WriteTiffFile(dir.File("mm.tif"), {gray, tiled, BilevelPage(64, 10, COMPRESSION_CCITTFAX3)},
                  bigEndian);
    const ToolResult r = RunTool({"info", dir.File("mm.tif")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "mm.tif: TIFF, 3 pages\n")) << r.out;
    EXPECT_TRUE(
        Contains(r.out, "page 1: 30 x 20 pixels, 204 x 98 dpi, MinIsBlack, 16 bits, LZW (5)\n"))
        << r.out;
    EXPECT_TRUE(Contains(r.out, "page 2: 40 x 40 pixels, no resolution, RGB, 3 x 8 bits")) << r.out;
    EXPECT_TRUE(Contains(r.out, "page 3: 64 x 10 pixels, no resolution, MinIsWhite, 1 bit, "))
        << r.out;
}

TEST(ConvertInfo, JsonReportsEachFileAndErrorsInPlaceOfPages) {
    TempDir dir;
    engine::testing::RawTiffBuilder blc;
    blc.AddSimplePage(16, 16, 1, 34718, std::vector<uint8_t>(32, 0), 0);
    WriteFileBytes(dir.File("blc \"q\".mdi"), blc.Bytes());
    const ToolResult r = RunTool(
        {"info", "--json", SamplePath(), dir.File("missing.tif"), dir.File("blc \"q\".mdi")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.ErrLines(), 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "missing.tif")) << r.err;
    // Key order within an object is not part of the format; the values are.
    QJsonParseError parseError{};
    const QJsonDocument json =
        QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &parseError);
    ASSERT_EQ(parseError.error, QJsonParseError::NoError) << r.out;
    const QJsonArray files = json.array();
    ASSERT_EQ(files.size(), 3) << r.out;
    const QJsonObject sample = files[0].toObject();
    EXPECT_EQ(sample["format"], "MDI");
    const QJsonObject firstPage = sample["pages"].toArray()[0].toObject();
    const QJsonObject expected{{"width", 2480},
                               {"height", 3508},
                               {"xres", 300},
                               {"yres", 300},
                               {"photometric", "MinIsWhite"},
                               {"bits", 1},
                               {"samples", 1},
                               {"compression", 4},
                               {"compression_name", "CCITT G4"},
                               {"decodable", true},
                               {"damage", QJsonValue::Null}};
    EXPECT_EQ(firstPage, expected) << r.out;
    EXPECT_EQ(sample["pages"].toArray().size(), 3);
    const QJsonObject missing = files[1].toObject();
    EXPECT_TRUE(missing["file"].toString().endsWith("missing.tif")) << r.out;
    EXPECT_FALSE(missing["error"].toString().isEmpty()) << r.out;
    EXPECT_FALSE(missing.contains("pages")) << r.out;
    const QJsonObject blcFile = files[2].toObject();
    EXPECT_TRUE(blcFile["file"].toString().endsWith("blc \"q\".mdi")) << r.out;
    EXPECT_EQ(blcFile["format"], "TIFF");
    const QJsonObject blcPage = blcFile["pages"].toArray()[0].toObject();
    EXPECT_EQ(blcPage["compression"], 34718);
    EXPECT_EQ(blcPage["compression_name"], "BLC");
    EXPECT_EQ(blcPage["decodable"], false);
}

// ---- names as the system gives them, messages as a terminal shows them

// Whether `text` holds, unescaped, a byte or character that acts on a terminal or
// reorders the text: a C0 control other than the line end, DEL, a C1 control,
// a bidirectional override or isolate.
bool HasTerminalControl(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        const auto third = i + 2 < text.size() ? static_cast<unsigned char>(text[i + 2]) : 0;
        if ((c < 0x20 && c != '\n') || c == 0x7F || (c == 0xC2 && next >= 0x80 && next <= 0x9F) ||
            (c == 0xE2 && next == 0x80 && third >= 0xAA && third <= 0xAE) ||
            (c == 0xE2 && next == 0x81 && third >= 0xA6 && third <= 0xA9)) {
            return true;
        }
    }
    return false;
}

struct NameCase {
    const char* name;
    // "@" stands for doc.tif, "%name" for a file of the test's folder.
    std::vector<std::string> args;
    int status;
    // A file the call leaves in the folder, by its exact bytes ("" for none).
    std::string written;
    // Text on standard output or error.
    std::string shows;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class ConvertNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(ConvertNames, KeepEveryByteAndShowOnlyEscapes) {
    TempDir dir;
    WriteTiffFile(dir.File("doc.tif"), {GrayPage(20, 20, 8)});
    // Names a terminal must not see raw: bytes that are not UTF-8, an overlong
    // form, a bidi override.
    WriteTiffFile(dir.File("in\xfe.tif"), {GrayPage(20, 20, 8)});
    WriteTiffFile(dir.File("\xc0\xaf.tif"), {GrayPage(20, 20, 8)});
    WriteTiffFile(dir.File("r\xe2\x80\xae"
                           "fdp.tif"),
                  {GrayPage(20, 20, 8)});
    // A colour model nothing decodes, under a compression that is fine.
    engine::testing::RawTiffBuilder odd;
    odd.AddSimplePage(8, 8, 8, COMPRESSION_NONE, std::vector<uint8_t>(64, 7), 99);
    WriteFileBytes(dir.File("odd.tif"), odd.Bytes());
    std::vector<std::string> args;
    for (const std::string& arg : GetParam().args) {
        args.push_back(arg == "@"      ? dir.File("doc.tif")
                       : arg[0] == '%' ? dir.File(arg.substr(1))
                                       : arg);
    }
    const ToolResult r = RunTool(args);
    EXPECT_EQ(r.status, GetParam().status) << r.err;
    EXPECT_TRUE(Contains(r.out + r.err, GetParam().shows)) << r.out << r.err;
    EXPECT_FALSE(HasTerminalControl(r.out + r.err)) << r.out << r.err;
    if (!GetParam().written.empty()) {
        EXPECT_TRUE(std::filesystem::is_regular_file(dir.File(GetParam().written)));
        EXPECT_EQ(ReadTiffPages(dir.File(GetParam().written)).size(), 1u);
    }
    size_t replaced = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path())) {
        replaced += Contains(entry.path().native(), "\xEF\xBF\xBD");
    }
    EXPECT_EQ(replaced, 0u) << "a name was written with U+FFFD for its bytes";
}

INSTANTIATE_TEST_SUITE_P(
    Names, ConvertNames,
    ::testing::Values(
        NameCase{"ExportToStrayByte", {"export", "@", "%out\xff.tiff"}, 0, "out\xff.tiff", ""},
        NameCase{"ExportToOverlongForm", {"export", "@", "%\xc0\xaf.tiff"}, 0, "\xc0\xaf.tiff", ""},
        NameCase{"ExportToValidNonAscii",
                 {"export", "@", "%caf\xc3\xa9.tiff"},
                 0,
                 "caf\xc3\xa9.tiff",
                 ""},
        NameCase{"ExportFromStrayByte", {"export", "%in\xfe.tif", "%out.tiff"}, 0, "out.tiff", ""},
        NameCase{"OutputDirWithStrayByte",
                 {"export", "--output-dir", "%od\xff", "@"},
                 0,
                 "od\xff/doc.tiff",
                 "od\\xFF/doc.tiff"},
        NameCase{"InfoShowsStrayByte", {"info", "%in\xfe.tif"}, 0, "", "in\\xFE.tif: TIFF, 1 page"},
        NameCase{"InfoShowsOverlongForm", {"info", "%\xc0\xaf.tif"}, 0, "", "\\xC0\\xAF.tif: TIFF"},
        NameCase{
            "InfoJsonShowsStrayByte", {"info", "--json", "%in\xfe.tif"}, 0, "", "in\\\\xFE.tif\""},
        NameCase{"MissingNameNotUtf8", {"info", "%\xfe.mdi"}, 1, "", "\\xFE.mdi: file not found"},
        NameCase{"InfoEscapesBidiOverride",
                 {"info",
                  "%r\xe2\x80\xae"
                  "fdp.tif"},
                 0,
                 "",
                 "r\\u202Efdp.tif: TIFF"},
        NameCase{"MessageEscapesTerminalCommands",
                 {"info", "%a\x1b]0;owned\x07\xc2\x9b.tif"},
                 1,
                 "",
                 "a\\x1B]0;owned\\x07\\u009B.tif"},
        NameCase{
            "MessageEscapesDel", {"export", "@", "%no\x7f/out.tiff"}, 1, "", "no\\x7F/out.tiff"},
        NameCase{"ExportNamesTheColourModel",
                 {"export", "%odd.tif", "%out.tiff"},
                 1,
                 "",
                 "PhotometricInterpretation=99"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- failures: one line on stderr, non-zero status, nothing written

struct BadCall {
    const char* name;
    // "@" stands for a readable document, "#" for the output, "%name" for a file
    // of the test's folder.
    std::vector<std::string> args;
    int status;
    const char* mentions;
};

class ConvertRefuses : public ::testing::TestWithParam<BadCall> {};

TEST_P(ConvertRefuses, WithOneLineAndNoOutput) {
    TempDir dir;
    WriteTiffFile(dir.File("doc.tif"), {GrayPage(20, 20, 8)});
    WriteFileBytes(dir.File("notes.mdi"), {'h', 'e', 'l', 'l', 'o', '\n'});
    WriteFileBytes(dir.File("empty.mdi"), {});
    WriteFileBytes(dir.File("picture.mdi"), {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0});
    std::vector<uint8_t> cut = engine::testing::ReadFileBytes(SamplePath());
    cut.resize(1000);
    WriteFileBytes(dir.File("cut.mdi"), cut);
    std::filesystem::create_directory(dir.File("folder.mdi"));
    std::vector<std::string> args;
    for (const std::string& arg : GetParam().args) {
        if (arg == "@") {
            args.push_back(dir.File("doc.tif"));
        } else if (arg == "#") {
            args.push_back(dir.File("out"));
        } else if (arg[0] == '%') {
            args.push_back(dir.File(arg.substr(1)));
        } else {
            args.push_back(arg);
        }
    }
    const ToolResult r = RunTool(args);
    EXPECT_EQ(r.status, GetParam().status) << r.err;
    EXPECT_EQ(r.ErrLines(), 1) << r.err;
    EXPECT_TRUE(Contains(r.err, GetParam().mentions)) << r.err;
    EXPECT_TRUE(r.err.rfind("foliolens-convert: ", 0) == 0) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out")));
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
    }
    EXPECT_EQ(files, 6u) << "a stray file was left";
}

INSTANTIATE_TEST_SUITE_P(
    Calls, ConvertRefuses,
    ::testing::Values(
        BadCall{"NoCommand", {}, 2, "no command"},
        BadCall{"UnknownCommand", {"convert", "@"}, 2, "unknown command \"convert\""},
        BadCall{"InfoWithoutFiles", {"info"}, 2, "at least one file"},
        BadCall{"UnknownOption", {"info", "--colour", "@"}, 2, "unknown option --colour"},
        BadCall{"AmbiguousOption",
                {"pdf", "@", "--o", "#"},
                2,
                "option --o could be any of --output-dir, --overwrite"},
        BadCall{"SwitchWithValue", {"info", "--json=yes", "@"}, 2, "--json takes no value"},
        BadCall{"MissingValue", {"render", "@", "--page"}, 2, "--page needs a value"},
        BadCall{"MissingFile", {"info", "/no/such/file.mdi"}, 1, "/no/such/file.mdi"},
        BadCall{"TextRenamedMdi", {"export", "%notes.mdi", "#"}, 1, "notes.mdi"},
        BadCall{"EmptyFile", {"info", "%empty.mdi"}, 1, "empty.mdi"},
        BadCall{"PngRenamedMdi",
                {"render", "%picture.mdi", "--page", "1", "--scale", "1", "-o", "#"},
                1,
                "picture.mdi"},
        BadCall{"TruncatedMdi", {"export", "%cut.mdi", "#"}, 1, "cut.mdi"},
        BadCall{"FolderGivenAsFile", {"info", "--json", "%folder.mdi"}, 1, "folder.mdi"},
        BadCall{"RenderNoMode",
                {"render", "@", "--page", "1", "-o", "#"},
                2,
                "exactly one of --zoom, --width and --scale"},
        BadCall{"RenderTwoModes",
                {"render", "@", "--page", "1", "--zoom", "1", "--width", "10", "-o", "#"},
                2,
                "exactly one of"},
        BadCall{"RenderPageZero",
                {"render", "@", "--page", "0", "--zoom", "1", "-o", "#"},
                2,
                "--page"},
        BadCall{"RenderPagePastEnd",
                {"render", "@", "--page", "2", "--zoom", "1", "-o", "#"},
                2,
                "past the last page"},
        BadCall{"RenderZoomNotNumber",
                {"render", "@", "--page", "1", "--zoom", "big", "-o", "#"},
                2,
                "\"big\""},
        BadCall{"RenderDpiWithoutZoom",
                {"render", "@", "--page", "1", "--width", "10", "--dpi", "96", "-o", "#"},
                2,
                "--dpi"},
        BadCall{"RenderNoOutput", {"render", "@", "--page", "1", "--zoom", "1"}, 2, "-o"},
        BadCall{"RenderHugeZoom",
                {"render", "@", "--page", "1", "--zoom", "9000", "-o", "#"},
                2,
                "pixels"},
        BadCall{"RenderTooManyPixels",
                {"render", "@", "--page", "1", "--width", "30000", "-o", "#"},
                2,
                "at most 67108864 pixels"},
        BadCall{"ExportOddAngle", {"export", "@", "#", "--rotate", "45"}, 2, "\"45\""},
        BadCall{"ExportNoTarget", {"export", "@"}, 2, "export needs"},
        BadCall{"ExportIntoMissingFolder",
                {"export", "@", "/no/such/folder/out.tiff"},
                1,
                "/no/such/folder/out.tiff"},
        BadCall{"OptionTwice",
                {"export", "@", "#", "--rotate", "90", "--rotate", "90"},
                2,
                "more than once"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertExport, UndecodablePageFailsNamingPageAndSchemeAndWritesNothing) {
    TempDir dir;
    engine::testing::RawTiffBuilder file;
    file.AddSimplePage(8, 8, 8, 1, std::vector<uint8_t>(64, 7), 1);
    file.AddSimplePage(16, 16, 1, 34719, std::vector<uint8_t>(32, 0), 0);
    WriteFileBytes(dir.File("mixed.mdi"), file.Bytes());
    const ToolResult r = RunTool({"export", dir.File("mixed.mdi"), dir.File("out.tiff")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.ErrLines(), 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "page 2")) << r.err;
    EXPECT_TRUE(Contains(r.err, "34719")) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.tiff")));
}

// ---- success paths

TEST(ConvertHelp, PrintsUsageAndSucceeds) {
    const ToolResult r = RunTool({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* command : {"info [--json] [--verify] FILE", "render FILE --page N",
                                "export FILE", "at most 67108864\n      pixels in all"}) {
        EXPECT_TRUE(Contains(r.out, command)) << command;
    }
}

TEST(ConvertRender, ScaleOneReproducesTheDecodedPixels) {
    TempDir dir;
    TestPage gray = GrayPage(37, 23, 8, COMPRESSION_LZW);
    gray.xResolution = 300;
    gray.yResolution = 150;
    gray.resolutionUnit = RESUNIT_NONE;  // pixels twice as wide as tall, no unit
    TestPage bilevel = BilevelPage(45, 31, COMPRESSION_CCITTFAX4);
    // Large enough to be resampled in bands on several threads.
    TestPage large = GrayPage(1031, 1027, 8, COMPRESSION_LZW);
    WriteTiffFile(dir.File("doc.tif"), {gray, bilevel, large});
    for (int page = 1; page <= 3; ++page) {
        const std::string png = dir.File("p" + std::to_string(page) + ".png");
        const ToolResult r = RunTool({"render", dir.File("doc.tif"), "--page", std::to_string(page),
                                      "--scale", "1", "-o", png});
        ASSERT_EQ(r.status, 0) << r.err;
        const TestPage& layout = page == 1 ? gray : page == 2 ? bilevel : large;
        const QImage image =
            QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_Grayscale8);
        ASSERT_EQ(image.width(), static_cast<int>(layout.width));
        ASSERT_EQ(image.height(), static_cast<int>(layout.height));
        int differences = 0;
        for (uint32_t y = 0; y < layout.height; ++y) {
            for (uint32_t x = 0; x < layout.width; ++x) {
                const uint32_t sample = engine::testing::SampleAt(layout.pixels, layout.RowBytes(),
                                                                  layout.bitsPerSample, 1, x, y, 0);
                // Bilevel MinIsWhite: 1 is black.
                const int expected = page != 2 ? static_cast<int>(sample) : (sample ? 0 : 255);
                differences += image.constScanLine(static_cast<int>(y))[x] != expected;
            }
        }
        EXPECT_EQ(differences, 0) << "page " << page;
    }
}

// Colour pages come out in their own channel order; an opaque page is written
// without alpha, a translucent one keeps it.
TEST(ConvertRender, ColourPagesKeepTheirChannelsAndOnlyRealAlpha) {
    TempDir dir;
    TestPage rgb = RgbPage(19, 7, 8);
    rgb.pixels = engine::testing::PatternPixels(rgb, 5);
    TestPage rgba = RgbPage(19, 7, 8);
    rgba.samplesPerPixel = 4;
    rgba.extraSamples = 1;
    rgba.extraSampleKind = EXTRASAMPLE_UNASSALPHA;
    rgba.pixels.assign(rgba.RowBytes() * rgba.height, 0);
    for (size_t i = 0; i < rgba.pixels.size(); i += 4) {
        rgba.pixels[i] = 200, rgba.pixels[i + 1] = 40, rgba.pixels[i + 2] = 90;
        rgba.pixels[i + 3] = static_cast<uint8_t>(i % 256);
    }
    WriteTiffFile(dir.File("colour.tif"), {rgb, rgba});
    for (int page = 1; page <= 2; ++page) {
        const std::string png = dir.File("p" + std::to_string(page) + ".png");
        const ToolResult r = RunTool({"render", dir.File("colour.tif"), "--page",
                                      std::to_string(page), "--scale", "1", "-o", png});
        ASSERT_EQ(r.status, 0) << r.err;
        const QImage image(QString::fromStdString(png));
        EXPECT_EQ(image.hasAlphaChannel(), page == 2);
        const TestPage& layout = page == 1 ? rgb : rgba;
        int differences = 0;
        for (uint32_t y = 0; y < layout.height; ++y) {
            for (uint32_t x = 0; x < layout.width; ++x) {
                const uint8_t* p =
                    &layout.pixels[y * layout.RowBytes() + x * layout.samplesPerPixel];
                const QColor c = image.pixelColor(static_cast<int>(x), static_cast<int>(y));
                const int alpha = page == 2 ? p[3] : 255;
                // A fully transparent pixel has no colour to keep.
                const bool colour =
                    alpha == 0 || (c.red() == p[0] && c.green() == p[1] && c.blue() == p[2]);
                differences += !colour || c.alpha() != alpha;
            }
        }
        EXPECT_EQ(differences, 0) << "page " << page;
    }
}

TEST(ConvertRender, FitToWidthKeepsTheAspectAndTurnsNothing) {
    TempDir dir;
    const std::string png = dir.File("page1.png");
    const ToolResult r = RunTool({"render", SamplePath(), "--page=1", "--width=800", "-o", png});
    ASSERT_EQ(r.status, 0) << r.err;
    const QImage image(QString::fromStdString(png));
    EXPECT_EQ(image.width(), 800);
    EXPECT_EQ(image.height(), 1132);  // 800 * 3508 / 2480
}

TEST(ConvertRender, ZoomOneAtTheScreenDpiIsThePhysicalSize) {
    TempDir dir;
    const std::string png = dir.File("page2.png");
    const ToolResult r = RunTool(
        {"render", SamplePath(), "--page", "2", "--zoom", "0.5", "--dpi", "200", "-o", png});
    ASSERT_EQ(r.status, 0) << r.err;
    const QImage image(QString::fromStdString(png));
    // 827 x 1169 pixels at 100 dpi shown at half size on a 200-dpi screen.
    EXPECT_EQ(image.width(), 827);
    EXPECT_EQ(image.height(), 1169);
}

class ConvertExportTurns : public ::testing::TestWithParam<std::pair<const char*, bool>> {};

TEST_P(ConvertExportTurns, WritesEveryPageAsTurned) {
    TempDir dir;
    std::vector<std::string> args{"export", SamplePath(), dir.File("out.tiff")};
    if (GetParam().first[0] != '\0') {
        args.insert(args.end(), {"--rotate", GetParam().first});
    }
    const ToolResult r = RunTool(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << "no progress line when stderr is not a terminal: " << r.err;
    const auto pages = ReadTiffPages(dir.File("out.tiff"));
    ASSERT_EQ(pages.size(), 3u);
    const bool swapped = GetParam().second;
    EXPECT_EQ(pages[0].width, swapped ? 3508u : 2480u);
    EXPECT_EQ(pages[0].height, swapped ? 2480u : 3508u);
    EXPECT_EQ(pages[0].compression, COMPRESSION_CCITTFAX4);
    EXPECT_EQ(pages[2].width, swapped ? 1169u : 827u);
}

TEST(ConvertExport, ShowsProgressOnATerminalForLongDocuments) {
    TempDir dir;
    WriteTiffFile(dir.File("long.tif"),
                  std::vector<TestPage>(25, BilevelPage(64, 48, COMPRESSION_CCITTFAX4)));
    // script(1) gives the tool a terminal for its output streams.
    const std::string command = std::string("'") + FOLIO_CONVERT_TOOL + "' export '" +
                                dir.File("long.tif") + "' '" + dir.File("out.tiff") + "'";
    const ToolResult r = RunTool({}, {"script", "-qec", command, "/dev/null"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "Exporting page 1 of 25")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Exporting page 25 of 25")) << r.out;
    EXPECT_EQ(ReadTiffPages(dir.File("out.tiff")).size(), 25u);
}

INSTANTIATE_TEST_SUITE_P(Angles, ConvertExportTurns,
                         ::testing::Values(std::make_pair("", false), std::make_pair("90", true),
                                           std::make_pair("-90", true),
                                           std::make_pair("180", false)),
                         [](const auto& info) {
                             const std::string a = info.param.first;
                             return a.empty()     ? std::string("None")
                                    : a[0] == '-' ? "Minus" + a.substr(1)
                                                  : "Plus" + a;
                         });

// ---- output targets: never an input, never a device, FIFO or socket, nothing
// stray left, and a failed write named

struct TargetCase {
    const char* name;
    // Stands at the target before the run: "" nothing, "file" a regular file,
    // "fifo", "socket", "input" (the target is the input's own path), or
    // "symlink:NAME" / "hardlink:NAME" to a file of the folder ("doc.tif" is the
    // input, "other.tif" a second document, "pipe" a FIFO).
    std::string setup;
    // The target's name in the folder ("" for none).
    std::string target;
    // "@" is the input, "#" the target, "%name" a file of the folder.
    std::vector<std::string> args;
    // A shell line the tool runs under ("" for none).
    const char* shell;
    int status;
    const char* mentions;
    // The target afterwards: written anew, or exactly as it was.
    bool written;
};

void PrintTo(const TargetCase& c, std::ostream* out) {
    *out << c.name;
}

// What stands at `path`, without following a link: its type and, for a link,
// where it leads; for a regular file, its size and a hash of its bytes.
std::string Describe(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return "nothing";
    }
    if (S_ISLNK(st.st_mode)) {
        return "link to " + std::filesystem::read_symlink(path).string();
    }
    if (S_ISREG(st.st_mode)) {
        const std::vector<uint8_t> bytes = engine::testing::ReadFileBytes(path);
        return "file of " + std::to_string(bytes.size()) + " bytes, hash " +
               std::to_string(std::hash<std::string>()(std::string(bytes.begin(), bytes.end())));
    }
    return "special " + std::to_string(st.st_mode & S_IFMT);
}

void MakeSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    path.copy(address.sun_path, path.size());
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

class ConvertTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(ConvertTarget, IsRefusedOrWrittenWholeLeavingNoStrayFile) {
    const TargetCase& c = GetParam();
    TempDir dir;
    // Noise: some 40 kB in any output, past the file-size limit below.
    TestPage noise = GrayPage(200, 200, 8);
    noise.pixels = engine::testing::PatternPixels(noise, 3);
    WriteTiffFile(dir.File("doc.tif"), {noise});
    WriteTiffFile(dir.File("other.tif"), {GrayPage(10, 10, 8)});
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    std::filesystem::create_directory(dir.File("batch"));
    const std::string target = c.setup == "input" ? dir.File("doc.tif") : dir.File(c.target);
    if (c.setup == "file") {
        WriteFileBytes(target, {'o', 'l', 'd'});
    } else if (c.setup == "fifo") {
        ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
    } else if (c.setup == "socket") {
        MakeSocket(target);
    } else if (c.setup.rfind("symlink:", 0) == 0) {
        std::filesystem::create_symlink(c.setup.substr(8), target);
    } else if (c.setup.rfind("hardlink:", 0) == 0) {
        std::filesystem::create_hard_link(dir.File(c.setup.substr(9)), target);
    }
    const std::string input = Describe(dir.File("doc.tif"));
    const std::string other = Describe(dir.File("other.tif"));
    const std::string before = Describe(target);
    std::vector<std::string> args;
    for (const std::string& arg : c.args) {
        args.push_back(arg == "@"      ? dir.File("doc.tif")
                       : arg == "#"    ? target
                       : arg[0] == '%' ? dir.File(arg.substr(1))
                                       : arg);
    }
    const std::vector<std::string> shell =
        c.shell[0] == '\0' ? std::vector<std::string>{}
                           : std::vector<std::string>{"sh", "-c", c.shell, FOLIO_CONVERT_TOOL};
    const ToolResult r = RunTool(args, shell);

    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_TRUE(Contains(r.err, c.mentions)) << r.err;
    if (c.status != 0) {
        EXPECT_TRUE(r.err.rfind("foliolens-convert: ", 0) == 0) << r.err;
    }
    if (c.setup != "input") {
        EXPECT_EQ(Describe(dir.File("doc.tif")), input);
    }
    EXPECT_EQ(Describe(dir.File("other.tif")), other);
    if (c.written) {
        EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(target)));
        EXPECT_GT(std::filesystem::file_size(target), 100u);
    } else if (!c.target.empty() || c.setup == "input") {
        EXPECT_EQ(Describe(target), before);
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path())) {
        EXPECT_NE(entry.path().filename().string()[0], '.') << "stray " << entry.path();
    }
}

const std::string kLongStem(250, 'n');

INSTANTIATE_TEST_SUITE_P(
    Cases, ConvertTarget,
    ::testing::Values(
        TargetCase{"ExportOverItsInput", "input", "", {"export", "@", "@"}, "", 1, "input", false},
        TargetCase{"ExportOverALinkToItsInput",
                   "symlink:doc.tif",
                   "out.tiff",
                   {"export", "@", "#"},
                   "",
                   1,
                   "also an input",
                   false},
        TargetCase{"ExportOverAHardLinkToItsInput",
                   "hardlink:doc.tif",
                   "out.tiff",
                   {"export", "@", "#", "--overwrite"},
                   "",
                   1,
                   "also an input",
                   false},
        TargetCase{"RenderOverAHardLinkToItsInput",
                   "hardlink:doc.tif",
                   "out.png",
                   {"render", "@", "--page", "1", "--scale", "1", "-o", "#"},
                   "",
                   1,
                   "also an input",
                   false},
        TargetCase{"BatchOutputLinkedToAnotherInput",
                   "symlink:../other.tif",
                   "batch/doc.pdf",
                   {"pdf", "--output-dir", "%batch", "--overwrite", "@", "%other.tif"},
                   "",
                   1,
                   "also an input",
                   false},
        TargetCase{
            "ExportToAFifo", "fifo", "out.tiff", {"export", "@", "#"}, "", 1, "a FIFO", false},
        TargetCase{"ExportToASocket",
                   "socket",
                   "out.tiff",
                   {"export", "@", "#"},
                   "",
                   1,
                   "a socket",
                   false},
        TargetCase{"ExportToALinkToAFifo",
                   "symlink:pipe",
                   "out.tiff",
                   {"export", "@", "#"},
                   "",
                   1,
                   "a FIFO",
                   false},
        TargetCase{"RenderToAFifo",
                   "fifo",
                   "out.png",
                   {"render", "@", "--page", "1", "--scale", "1", "-o", "#"},
                   "",
                   1,
                   "a FIFO",
                   false},
        TargetCase{"PdfOverwritingAFifo",
                   "fifo",
                   "out.pdf",
                   {"pdf", "@", "-o", "#", "--overwrite"},
                   "",
                   1,
                   "a FIFO",
                   false},
        TargetCase{"BatchOverwritingASocket",
                   "socket",
                   "batch/doc.tiff",
                   {"export", "--output-dir", "%batch", "--overwrite", "@"},
                   "",
                   1,
                   "a socket",
                   false},
        // The link itself is replaced; the file it led to stays as it was.
        TargetCase{"ExportReplacesALinkNotWhatItLeadsTo",
                   "symlink:other.tif",
                   "out.tiff",
                   {"export", "@", "#"},
                   "",
                   0,
                   "",
                   true},
        TargetCase{"ExportTakesOverwrite",
                   "file",
                   "out.tiff",
                   {"export", "@", "#", "--overwrite"},
                   "",
                   0,
                   "",
                   true},
        TargetCase{"RenderTakesOverwrite",
                   "file",
                   "out.png",
                   {"render", "@", "--page", "1", "--scale", "1", "-o", "#", "--overwrite"},
                   "",
                   0,
                   "",
                   true},
        TargetCase{"ExportToANameOf255Bytes",
                   "",
                   kLongStem + ".tiff",
                   {"export", "@", "#"},
                   "",
                   0,
                   "",
                   true},
        TargetCase{"PdfToANameOf248Bytes",
                   "",
                   kLongStem.substr(0, 244) + ".pdf",
                   {"pdf", "@", "-o", "#"},
                   "",
                   0,
                   "",
                   true},
        TargetCase{"ExportPastTheFileSizeLimit",
                   "",
                   "out.tiff",
                   {"export", "@", "#"},
                   "ulimit -f 8; exec \"$0\" \"$@\"",
                   1,
                   "File too large",
                   false},
        TargetCase{"RenderPastTheFileSizeLimit",
                   "",
                   "out.png",
                   {"render", "@", "--page", "1", "--scale", "1", "-o", "#"},
                   "ulimit -f 8; exec \"$0\" \"$@\"",
                   1,
                   "File too large",
                   false},
        TargetCase{"PdfPastTheFileSizeLimit",
                   "file",
                   "out.pdf",
                   {"pdf", "@", "-o", "#", "--overwrite"},
                   "ulimit -f 8; exec \"$0\" \"$@\"",
                   1,
                   "File too large",
                   false},
        TargetCase{"InfoToAFullStandardOutput",
                   "",
                   "",
                   {"info", "@"},
                   "exec \"$0\" \"$@\" >/dev/full",
                   1,
                   "standard output",
                   false},
        TargetCase{"InfoJsonToAFullStandardOutput",
                   "",
                   "",
                   {"info", "--json", "@"},
                   "exec \"$0\" \"$@\" >/dev/full",
                   1,
                   "standard output",
                   false},
        TargetCase{"BatchSummaryToAFullStandardOutput",
                   "",
                   "batch/doc.pdf",
                   {"pdf", "--output-dir", "%batch", "@"},
                   "exec \"$0\" \"$@\" >/dev/full",
                   1,
                   "standard output",
                   true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace folio::convert
