// `foliolens-convert pdf` checked with the tools people read PDFs with: poppler
// (pdfinfo, pdfimages, pdftoppm) and qpdf --check, against the engine's own render.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>

#include "convert/tool_run.h"
#include "engine/document/engine_document.h"
#include "support/raw_tiff_builder.h"
#include "support/temp_dir.h"
#include "support/tiff_fixture.h"

namespace folio::convert {
namespace {

using engine::testing::TempDir;
using engine::testing::TestPage;
using engine::testing::WithResolution;
using engine::testing::WriteTiffFile;
using testing::RunTool;
using testing::ToolResult;

// Runs a shell command, returning its standard output; `status` gets its exit code.
std::string Shell(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, n);
    }
    const int raw = ::pclose(pipe);
    if (status != nullptr) {
        *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    return out;
}

std::string Quoted(const std::string& path) {
    return "'" + path + "'";
}

struct PdfPage {
    double width = 0;  // points
    double height = 0;
    int rotate = 0;
};

// Page sizes and turns as poppler reads them.
std::vector<PdfPage> ReadPages(const std::string& pdf) {
    std::vector<PdfPage> pages;
    std::istringstream lines(Shell("pdfinfo -f 1 -l 9999 " + Quoted(pdf)));
    std::string line;
    while (std::getline(lines, line)) {
        PdfPage page;
        int number = 0;
        if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf", &number, &page.width,
                        &page.height) == 3) {
            pages.push_back(page);
        } else if (std::sscanf(line.c_str(), "Page %d rot: %d", &number, &page.rotate) == 2 &&
                   number >= 1 && static_cast<size_t>(number) <= pages.size()) {
            pages[static_cast<size_t>(number) - 1].rotate = page.rotate;
        }
    }
    return pages;
}

// "num:type:color:enc" from pdfimages -list for each image (soft masks included).
std::vector<std::string> ImageEncodings(const std::string& pdf) {
    std::vector<std::string> encodings;
    std::istringstream lines(Shell("pdfimages -list " + Quoted(pdf)));
    std::string line;
    for (int i = 0; std::getline(lines, line); ++i) {
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string word; fields >> word;) {
            f.push_back(word);
        }
        if (i >= 2 && f.size() > 8) {
            encodings.push_back(f[1] + ":" + f[2] + ":" + f[5] + ":" + f[8]);  // num:type:color:enc
        }
    }
    return encodings;
}

// Each page's /UserUnit (1 where it has none), as qpdf reads the file: poppler
// gives page sizes in the page's own units.
std::vector<double> UserUnits(const std::string& pdf) {
    const QJsonObject root =
        QJsonDocument::fromJson(
            QByteArray::fromStdString(
                Shell("qpdf --json=2 --json-key=pages --json-key=qpdf " + Quoted(pdf))))
            .object();
    const QJsonObject objects = root["qpdf"].toArray().at(1).toObject();
    std::vector<double> units;
    for (const QJsonValue page : root["pages"].toArray()) {
        const QJsonObject dict =
            objects["obj:" + page["object"].toString()].toObject()["value"].toObject();
        units.push_back(dict.contains("/UserUnit") ? dict["/UserUnit"].toDouble() : 1.0);
    }
    return units;
}

std::string PdfVersion(const std::string& pdf) {
    const std::string info = Shell("pdfinfo " + Quoted(pdf));
    const size_t at = info.find("PDF version:");
    if (at == std::string::npos) {
        return "";
    }
    const size_t from = info.find_first_not_of(' ', at + 12);
    return info.substr(from, info.find('\n', from) - from);
}

bool QpdfChecks(const std::string& pdf) {
    int status = -1;
    Shell("qpdf --check " + Quoted(pdf), &status);
    return status == 0;
}

// Page `page` (from 1) rendered by poppler at the given resolution. pdftoppm
// smooths images it draws at less than four times their size, so the page is
// drawn at four times the resolution and every fourth pixel taken.
QImage RenderPdf(const std::string& pdf, int page, double xDpi, double yDpi, bool gray,
                 const std::string& prefix) {
    const std::string p = std::to_string(page);
    Shell("pdftoppm -singlefile -f " + p + " -l " + p + " -rx " + std::to_string(4 * xDpi) +
          " -ry " + std::to_string(4 * yDpi) + (gray ? " -gray " : " ") + Quoted(pdf) + " " +
          Quoted(prefix));
    const QImage large(QString::fromStdString(prefix + (gray ? ".pgm" : ".ppm")));
    QImage image(large.width() / 4, large.height() / 4, large.format());
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.setPixel(x, y, large.pixel(4 * x + 1, 4 * y + 1));
        }
    }
    return image;
}

// What the viewer shows of the page at one image pixel per pixel, over white paper.
QImage EngineRender(const std::string& path, int page, int angle) {
    engine::EngineDocument document;
    document.Open(path);
    if (angle != 0) {
        document.RotatePage(page, angle);
    }
    const engine::DisplaySize size = document.ScaledSize(page, 1.0);
    const engine::RenderedImage image =
        document.RenderAtScale(page, 1.0,
                               {0, 0, static_cast<int>(std::lround(size.width)),
                                static_cast<int>(std::lround(size.height))});
    const bool gray = image.format == engine::RenderedImage::Format::Gray8;
    QImage q(image.pixels.data(), image.width, image.height, static_cast<qsizetype>(image.stride),
             gray ? QImage::Format_Grayscale8 : QImage::Format_ARGB32);
    if (gray) {
        return q.copy();
    }
    QImage paper(q.size(), QImage::Format_RGB32);
    paper.fill(Qt::white);
    for (int y = 0; y < q.height(); ++y) {
        for (int x = 0; x < q.width(); ++x) {
            const QRgb c = q.pixel(x, y);
            const int a = qAlpha(c);
            const auto over = [a](int v) { return (v * a + 255 * (255 - a) + 127) / 255; };
            paper.setPixel(x, y, qRgb(over(qRed(c)), over(qGreen(c)), over(qBlue(c))));
        }
    }
    return paper;
}

// The largest difference of any sample, or -1 when the sizes differ.
int MaxDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) {
        return -1;
    }
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return worst;
}

TestPage With(TestPage page, const std::function<void(TestPage&)>& change) {
    change(page);
    page.pixels = engine::testing::PatternPixels(page);
    return page;
}

struct PageKind {
    std::string name;
    TestPage layout;
    std::string encoding;  // pdfimages' colour and encoding of the page's image
    // Largest sample difference from the engine's render; -1 where poppler's own
    // colour conversion (CMYK) differs from the engine's and only the kind is checked.
    int tolerance = 0;
    int angle = 0;  // --rotate
};

void PrintTo(const PageKind& k, std::ostream* out) {
    *out << k.name;
}

std::vector<PageKind> PageKinds() {
    using namespace engine::testing;
    const auto bilevel = [](uint16_t compression, uint16_t photometric = PHOTOMETRIC_MINISWHITE) {
        TestPage page = WithResolution(BilevelPage(203, 61, compression, photometric), 200, 200);
        page.rowsPerStrip = page.height;
        return page;
    };
    const auto jpeg = [](TestPage page) {
        page.rowsPerStrip = page.height;
        return WithResolution(page, 150, 150);
    };
    std::vector<PageKind> kinds = {
        {"G4", bilevel(COMPRESSION_CCITTFAX4), "gray:ccitt"},
        {"G4MinIsBlack", bilevel(COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISBLACK), "gray:ccitt"},
        {"G3OneD", bilevel(COMPRESSION_CCITTFAX3), "gray:ccitt"},
        {"G3TwoD",
         With(bilevel(COMPRESSION_CCITTFAX3),
              [](TestPage& p) { p.group3Options = GROUP3OPT_2DENCODING; }),
         "gray:ccitt"},
        {"G3FillBits",
         With(bilevel(COMPRESSION_CCITTFAX3),
              [](TestPage& p) { p.group3Options = GROUP3OPT_FILLBITS; }),
         "gray:ccitt"},
        {"ModifiedHuffman", bilevel(COMPRESSION_CCITTRLE), "gray:ccitt"},
        {"G4Strips", With(bilevel(COMPRESSION_CCITTFAX4), [](TestPage& p) { p.rowsPerStrip = 7; }),
         "gray:ccitt"},
        {"G4FillOrder2",
         With(bilevel(COMPRESSION_CCITTFAX4), [](TestPage& p) { p.fillOrder = FILLORDER_LSB2MSB; }),
         "gray:ccitt"},
        {"G4Mirrored", With(bilevel(COMPRESSION_CCITTFAX4), [](TestPage& p) { p.orientation = 2; }),
         "gray:ccitt"},
        {"G4Orientation6",
         With(bilevel(COMPRESSION_CCITTFAX4), [](TestPage& p) { p.orientation = 6; }),
         "gray:ccitt"},
        {"G4Turned90", bilevel(COMPRESSION_CCITTFAX4), "gray:ccitt", 0, 90},
        {"G4TurnedMinus90", bilevel(COMPRESSION_CCITTFAX4), "gray:ccitt", 0, -90},
        {"G4Turned180", bilevel(COMPRESSION_CCITTFAX4), "gray:ccitt", 0, 180},
        {"BilevelUncompressed", bilevel(COMPRESSION_NONE), "gray:ccitt"},
        {"Gray8FaxResolution", WithResolution(GrayPage(170, 40, 8, COMPRESSION_LZW), 204, 98),
         "gray:image"},
        {"Gray8Centimetres",
         With(WithResolution(GrayPage(59, 40, 8, COMPRESSION_ADOBE_DEFLATE), 40, 40),
              [](TestPage& p) { p.resolutionUnit = RESUNIT_CENTIMETER; }),
         "gray:image"},
        {"Gray8MinIsWhiteTurned",
         With(WithResolution(GrayPage(37, 29, 8), 96, 96),
              [](TestPage& p) { p.photometric = PHOTOMETRIC_MINISWHITE; }),
         "gray:image", 0, 90},
        {"Gray4", WithResolution(GrayPage(37, 29, 4, COMPRESSION_LZW), 72, 72), "gray:image"},
        {"Gray16", WithResolution(GrayPage(37, 29, 16, COMPRESSION_LZW), 72, 72), "gray:image", 1},
        {"Palette4", WithResolution(PalettePage(37, 29, 4, COMPRESSION_LZW), 72, 72), "index:image",
         1},
        {"Rgb8Tiled",
         With(WithResolution(RgbPage(70, 45, 8, COMPRESSION_ADOBE_DEFLATE), 72, 72),
              [](TestPage& p) { p.tiled = true; }),
         "rgb:image", 1},
        {"Rgb16", WithResolution(RgbPage(37, 29, 16, COMPRESSION_LZW), 72, 72), "rgb:image", 1},
        {"Cmyk8",
         With(WithResolution(RgbPage(37, 29, 8), 72, 72),
              [](TestPage& p) {
                  p.samplesPerPixel = 4;
                  p.photometric = PHOTOMETRIC_SEPARATED;
              }),
         "cmyk:image", -1},
        {"RgbAlpha",
         With(WithResolution(RgbPage(37, 29, 8, COMPRESSION_LZW), 72, 72),
              [](TestPage& p) {
                  p.samplesPerPixel = 4;
                  p.extraSamples = 1;
                  p.extraSampleKind = EXTRASAMPLE_UNASSALPHA;
              }),
         "rgb:image", 2},
        {"JpegGray", jpeg(GrayPage(64, 48, 8, COMPRESSION_JPEG)), "gray:jpeg", 12},
        {"JpegRgb", jpeg(RgbPage(64, 48, 8, COMPRESSION_JPEG)), "rgb:jpeg", 16},
        {"JpegYCbCrTurned",
         With(jpeg(RgbPage(64, 48, 8, COMPRESSION_JPEG)),
              [](TestPage& p) { p.photometric = PHOTOMETRIC_YCBCR; }),
         "rgb:jpeg", 24, -90},
    };
    return kinds;
}

class PdfPageKindTest : public ::testing::TestWithParam<PageKind> {};

TEST_P(PdfPageKindTest, PageComesOutAtItsSizeWithItsPixels) {
    const PageKind& kind = GetParam();
    TempDir dir;
    const std::string tif = dir.File("page.tif");
    const std::string pdf = dir.File("page.pdf");
    WriteTiffFile(tif, {kind.layout});
    std::vector<std::string> args = {"pdf", tif, "-o", pdf};
    if (kind.angle != 0) {
        args.push_back("--rotate=" + std::to_string(kind.angle));
    }
    const ToolResult r = RunTool(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(QpdfChecks(pdf));

    engine::EngineDocument source;
    source.Open(tif);
    const engine::PageInfo info = source.Info(0);
    const double xDpi = info.xDpi > 0 ? info.xDpi : 72.0;
    const double yDpi = info.yDpi > 0 ? info.yDpi : 72.0;
    const std::vector<PdfPage> pages = ReadPages(pdf);
    ASSERT_EQ(pages.size(), 1u);
    // pdfinfo gives sizes as stored and the turn beside them.
    const bool across = (pages[0].rotate / 90) % 2 == 1;
    const double shownWidth = across ? pages[0].height : pages[0].width;
    const double shownHeight = across ? pages[0].width : pages[0].height;
    const bool turnedAcross = std::abs(kind.angle) == 90;
    EXPECT_NEAR(shownWidth, (turnedAcross ? info.height / yDpi : info.width / xDpi) * 72, 0.01);
    EXPECT_NEAR(shownHeight, (turnedAcross ? info.width / xDpi : info.height / yDpi) * 72, 0.01);

    const std::vector<std::string> images = ImageEncodings(pdf);
    ASSERT_FALSE(images.empty());
    EXPECT_EQ(images[0], "0:image:" + kind.encoding);
    if (kind.layout.extraSamples > 0) {
        EXPECT_EQ(images, (std::vector<std::string>{"0:image:rgb:image", "1:smask:gray:image"}));
    }

    if (kind.tolerance < 0) {
        return;
    }
    const QImage expected = EngineRender(tif, 0, kind.angle);
    const bool gray = expected.format() == QImage::Format_Grayscale8;
    const QImage rendered = RenderPdf(pdf, 1, turnedAcross ? yDpi : xDpi,
                                      turnedAcross ? xDpi : yDpi, gray, dir.File("render"));
    const int difference = MaxDifference(expected, rendered);
    EXPECT_GE(difference, 0) << "sizes " << rendered.width() << "x" << rendered.height() << " and "
                             << expected.width() << "x" << expected.height();
    EXPECT_LE(difference, kind.tolerance);
}

INSTANTIATE_TEST_SUITE_P(Kinds, PdfPageKindTest, ::testing::ValuesIn(PageKinds()),
                         [](const auto& info) { return info.param.name; });

// A letter page faxed at 204 x 98 is a letter page whatever unit its resolution
// is given in; without any resolution a page is 72 dpi.
TEST(ConvertPdf, FaxPagesComeOutAtTheirPaperSize) {
    struct Case {
        const char* name;
        double x;
        double y;
        uint16_t unit;
        double width;  // points
        double height;
    };
    const Case cases[] = {
        {"inch", 204, 98, RESUNIT_INCH, 612, 792},
        {"no unit", 204, 98, RESUNIT_NONE, 612, 792},
        {"centimetre", 204 / 2.54, 98 / 2.54, RESUNIT_CENTIMETER, 612, 792},
        {"no resolution", 0, 0, RESUNIT_INCH, 1734, 1078},
    };
    TempDir dir;
    for (const Case& c : cases) {
        // 8.5 x 11 inches; exported, the G4 page is copied and the other one encoded.
        std::vector<TestPage> pages;
        for (const uint16_t compression : {COMPRESSION_CCITTFAX4, COMPRESSION_NONE}) {
            TestPage page = engine::testing::BilevelPage(1734, 1078, compression);
            page.xResolution = c.x;
            page.yResolution = c.y;
            page.resolutionUnit = c.unit;
            pages.push_back(page);
        }
        WriteTiffFile(dir.File("fax.tif"), pages);
        const ToolResult r =
            RunTool({"pdf", dir.File("fax.tif"), "-o", dir.File("fax.pdf"), "--overwrite"});
        ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
        const std::vector<PdfPage> sizes = ReadPages(dir.File("fax.pdf"));
        ASSERT_EQ(sizes.size(), 2u) << c.name;
        for (const PdfPage& size : sizes) {
            EXPECT_NEAR(size.width, c.width, 0.05) << c.name;
            EXPECT_NEAR(size.height, c.height, 0.05) << c.name;
        }
        // An exported page says the same in inches, whichever way it was written.
        const ToolResult e =
            RunTool({"export", dir.File("fax.tif"), dir.File("fax.tiff"), "--overwrite"});
        ASSERT_EQ(e.status, 0) << c.name << ": " << e.err;
        TIFF* tif = TIFFOpen(dir.File("fax.tiff").c_str(), "r");
        ASSERT_NE(tif, nullptr) << c.name;
        int page = 0;
        do {
            float x = 0;
            float y = 0;
            uint16_t unit = 0;
            const bool has = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) == 1 &&
                             TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y) == 1;
            TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
            EXPECT_EQ(has, c.x > 0) << c.name << ", page " << page;
            if (has) {
                EXPECT_NEAR(x, 204, 0.01) << c.name << ", page " << page;
                EXPECT_NEAR(y, 98, 0.01) << c.name << ", page " << page;
                EXPECT_EQ(unit, RESUNIT_INCH) << c.name << ", page " << page;
            }
            ++page;
        } while (TIFFReadDirectory(tif) == 1);
        TIFFClose(tif);
        EXPECT_EQ(page, 2) << c.name;
    }
}

// The one CCITT G4 strip of a sound bilevel page of that size, as libtiff writes it.
std::vector<uint8_t> G4Strip(const TempDir& dir, uint32_t width, uint32_t height) {
    TestPage sound = engine::testing::BilevelPage(width, height, COMPRESSION_CCITTFAX4);
    sound.rowsPerStrip = sound.height;
    const std::string path = dir.File("g4-strip.tif");
    WriteTiffFile(path, {sound});
    std::vector<uint8_t> g4;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (tif != nullptr) {
        g4.resize(TIFFGetStrileByteCount(tif, 0));
        if (TIFFReadRawStrip(tif, 0, g4.data(), static_cast<tmsize_t>(g4.size())) !=
            static_cast<tmsize_t>(g4.size())) {
            g4.clear();
        }
        TIFFClose(tif);
    }
    std::filesystem::remove(path);
    return g4;
}

// A G4 page whose directory does not describe its data soundly is decoded, not
// passed through: what goes out is the page as libtiff could read it, never the
// bytes libtiff guesses at, and it is named as damaged. (libtiff's G4 encoder
// writes the page's own bytes again when all of it could be read.)
TEST(ConvertPdf, PagesWithUnsoundStripsAreDecodedNotCopied) {
    using Raw = engine::testing::RawTiffBuilder;
    using Tag = Raw::Tag;
    struct Case {
        const char* name;
        std::function<void(std::vector<Tag>&)> damage;
        int status;  // pdf's and export's: refused (1) where nothing can be read, else 3
        bool whole;  // all of the page's data was read
    };
    const auto drop = [](std::vector<Tag>& tags, uint16_t tag) {
        std::erase_if(tags, [tag](const Tag& t) { return t.tag == tag; });
    };
    const auto set = [](std::vector<Tag>& tags, uint16_t tag, uint32_t value) {
        for (Tag& t : tags) {
            if (t.tag == tag) {
                t.value = value;
            }
        }
    };
    const Case cases[] = {
        {"no byte counts", [&](auto& tags) { drop(tags, TIFFTAG_STRIPBYTECOUNTS); }, 3, true},
        {"count past the end", [&](auto& tags) { set(tags, TIFFTAG_STRIPBYTECOUNTS, 0x7FFFFFF0); },
         1, false},
        // The first strip's ten rows are read; the strips the directory lacks stay blank.
        {"too few strips", [&](auto& tags) { set(tags, TIFFTAG_ROWSPERSTRIP, 10); }, 3, false},
    };
    TempDir dir;
    const std::vector<uint8_t> g4 = G4Strip(dir, 64, 40);
    ASSERT_FALSE(g4.empty());
    for (const Case& c : cases) {
        engine::testing::RawTiffBuilder b;
        const uint32_t data = b.AddData(g4);
        std::vector<Tag> tags = {Raw::Long(256, 64),
                                 Raw::Long(257, 40),
                                 Raw::Short(258, 1),
                                 Raw::Short(259, COMPRESSION_CCITTFAX4),
                                 Raw::Short(262, 0),
                                 Raw::Long(273, data),
                                 Raw::Short(277, 1),
                                 Raw::Long(278, 40),
                                 Raw::Long(279, static_cast<uint32_t>(g4.size()))};
        c.damage(tags);
        b.AddIfd(tags);
        // What libtiff would take for the data's end reaches past it.
        b.AddData(std::vector<uint8_t>(200, 0xA5));
        const std::string input = dir.File("damaged.tif");
        engine::testing::WriteFileBytes(input, b.Bytes());

        const std::string pdf = dir.File("out.pdf");
        const ToolResult r = RunTool({"pdf", input, "-o", pdf});
        ASSERT_EQ(r.status, c.status) << c.name << ": " << r.err;
        const std::string tiff = dir.File("out.tiff");
        const ToolResult e = RunTool({"export", input, tiff});
        ASSERT_EQ(e.status, c.status) << c.name << ": " << e.err;
        if (c.status == 1) {
            EXPECT_NE(r.err.find("image data"), std::string::npos) << c.name << ": " << r.err;
            EXPECT_NE(e.err.find("image data"), std::string::npos) << c.name << ": " << e.err;
            EXPECT_FALSE(std::filesystem::exists(pdf)) << c.name;
            EXPECT_FALSE(std::filesystem::exists(tiff)) << c.name;
            continue;
        }
        for (const std::string& err : {r.err, e.err}) {
            EXPECT_NE(err.find("warning: page 1 written as read, damaged: "), std::string::npos)
                << c.name << ": " << err;
        }
        if (!c.whole) {
            EXPECT_EQ(ReadPages(pdf).size(), 1u) << c.name;
            EXPECT_TRUE(std::filesystem::exists(tiff)) << c.name;
            std::filesystem::remove(pdf);
            std::filesystem::remove(tiff);
            continue;
        }
        // pdfimages: "page num type width height color comp bpc enc interp object ID
        // x-ppi y-ppi size ratio".
        const std::string list = Shell("pdfimages -list " + Quoted(pdf));
        EXPECT_NE(list.find(" " + std::to_string(g4.size()) + "B "), std::string::npos)
            << c.name << ":\n"
            << list;
        TIFF* out = TIFFOpen(tiff.c_str(), "r");
        ASSERT_NE(out, nullptr) << c.name;
        EXPECT_EQ(TIFFNumberOfStrips(out), 1u) << c.name;
        EXPECT_EQ(TIFFGetStrileByteCount(out, 0), g4.size()) << c.name;
        TIFFClose(out);
        std::filesystem::remove(pdf);
        std::filesystem::remove(tiff);
    }
}

TEST(ConvertPdf, SampleAndSeveralInputsGoIntoOneFileInOrder) {
    TempDir dir;
    const std::string jpegPage = dir.File("photo.tif");
    TestPage photo = engine::testing::RgbPage(120, 80, 8, COMPRESSION_JPEG);
    photo.rowsPerStrip = photo.height;
    WriteTiffFile(jpegPage, {photo});
    const std::string pdf = dir.File("both.pdf");
    const ToolResult r =
        RunTool({"pdf", FOLIO_SOURCE_TREE "/samples/sample.mdi", jpegPage, "-o", pdf});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(QpdfChecks(pdf));
    const std::vector<PdfPage> pages = ReadPages(pdf);
    ASSERT_EQ(pages.size(), 4u);
    EXPECT_NEAR(pages[0].width, 595.2, 0.01);
    EXPECT_NEAR(pages[0].height, 841.92, 0.01);
    EXPECT_NEAR(pages[3].width, 120.0, 0.01);
    EXPECT_EQ(ImageEncodings(pdf),
              (std::vector<std::string>{"0:image:gray:ccitt", "1:image:gray:image",
                                        "2:image:rgb:image", "3:image:rgb:jpeg"}));
    // The last page, smaller than the others, draws its image to its own size.
    const int difference = MaxDifference(EngineRender(jpegPage, 0, 0),
                                         RenderPdf(pdf, 4, 72, 72, false, dir.File("render")));
    EXPECT_GE(difference, 0);
    EXPECT_LE(difference, 16);
}

// A page whose sides in points are more than readers take keeps its size in larger
// units (/UserUnit), which only the files that use it are PDF 1.6 for.
TEST(ConvertPdf, PagesLargerThanPointsHoldKeepTheirSizeInLargerUnits) {
    using namespace engine::testing;
    struct Size {
        const char* name;
        TestPage layout;
        double width;  // points
        double height;
    };
    const std::vector<Size> sizes = {
        {"a4.tif", WithResolution(BilevelPage(248, 351, COMPRESSION_CCITTFAX4), 30, 30), 595.2,
         842.4},
        {"wide-g4.tif", WithResolution(BilevelPage(2100, 61, COMPRESSION_CCITTFAX4), 10, 10), 15120,
         439.2},
        {"tall-gray.tif", WithResolution(GrayPage(40, 1500, 8), 5, 5), 576, 21600},
    };
    TempDir dir;
    std::vector<std::string> args = {"pdf"};
    for (const Size& size : sizes) {
        TestPage layout = size.layout;
        layout.rowsPerStrip = layout.height;
        WriteTiffFile(dir.File(size.name), {layout});
        args.push_back(dir.File(size.name));
    }
    args.insert(args.end(), {"-o", dir.File("all.pdf")});
    ASSERT_EQ(RunTool(args).status, 0);
    ASSERT_EQ(RunTool({"pdf", dir.File("a4.tif"), "-o", dir.File("a4.pdf")}).status, 0);

    EXPECT_TRUE(QpdfChecks(dir.File("all.pdf")));
    EXPECT_EQ(PdfVersion(dir.File("all.pdf")), "1.6");
    EXPECT_EQ(PdfVersion(dir.File("a4.pdf")), "1.5");
    const std::vector<PdfPage> pages = ReadPages(dir.File("all.pdf"));
    const std::vector<double> units = UserUnits(dir.File("all.pdf"));
    ASSERT_EQ(pages.size(), sizes.size());
    ASSERT_EQ(units.size(), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        SCOPED_TRACE(sizes[i].name);
        EXPECT_NEAR(pages[i].width * units[i], sizes[i].width, 0.05);
        EXPECT_NEAR(pages[i].height * units[i], sizes[i].height, 0.05);
        EXPECT_LE(std::max(pages[i].width, pages[i].height), 14400.0);
        EXPECT_GE(std::min(pages[i].width, pages[i].height), 3.0);
        // The unit stays a point where points will do.
        EXPECT_EQ(units[i] == 1.0, std::max(sizes[i].width, sizes[i].height) <= 14400);
    }
}

TEST(ConvertPdf, RefusesWhatWouldLoseOrDamageAFile) {
    TempDir dir;
    const std::string good = dir.File("good.tif");
    WriteTiffFile(good, {engine::testing::GrayPage(20, 10, 8)});
    engine::testing::RawTiffBuilder blc;
    blc.AddSimplePage(16, 16, 1, 34718, std::vector<uint8_t>(32, 0), 0);
    const std::string proprietary = dir.File("blc.mdi");
    engine::testing::WriteFileBytes(proprietary, blc.Bytes());
    // Found out only when decoding: the file is already being written by then.
    engine::testing::RawTiffBuilder shortData;
    shortData.AddSimplePage(64, 64, 8, COMPRESSION_LZW, std::vector<uint8_t>(3, 0x80));
    const std::string damaged = dir.File("damaged.tif");
    engine::testing::WriteFileBytes(damaged, shortData.Bytes());
    // A G4 page copied as stored only where its strip lies inside the file.
    engine::testing::RawTiffBuilder outside;
    const uint32_t g4 = outside.AddData({0x26, 0xA0, 0x00, 0x10, 0x01, 0x00, 0x10, 0x01});
    using Raw = engine::testing::RawTiffBuilder;
    outside.AddIfd({Raw::Long(256, 16), Raw::Long(257, 2), Raw::Short(258, 1), Raw::Short(259, 4),
                    Raw::Short(262, 0), Raw::Long(273, g4 + (1 << 20)), Raw::Long(278, 2),
                    Raw::Long(279, 8)});
    const std::string pastEnd = dir.File("past-end.tif");
    engine::testing::WriteFileBytes(pastEnd, outside.Bytes());
    // A G4 page passed through as stored only where its data can hold its rows.
    engine::testing::RawTiffBuilder tooShort;
    const uint32_t few = tooShort.AddData(std::vector<uint8_t>(8, 0));
    const uint32_t dpi = tooShort.AddRational(300, 1);
    tooShort.AddIfd({Raw::Long(256, 100000), Raw::Long(257, 100000), Raw::Short(258, 1),
                     Raw::Short(259, 4), Raw::Short(262, 0), Raw::Long(273, few),
                     Raw::Long(278, 100000), Raw::Long(279, 8), Raw::Tag{282, 5, 1, dpi},
                     Raw::Tag{283, 5, 1, dpi}, Raw::Short(296, 2)});
    const std::string farTooShort = dir.File("far-too-short.tif");
    engine::testing::WriteFileBytes(farTooShort, tooShort.Bytes());
    // Sizes no PDF page can have, in any unit: a side under 3 points, or one side
    // 24000 points long and the other 4.8.
    const std::string tiny = dir.File("tiny.tif");
    WriteTiffFile(tiny, {WithResolution(engine::testing::GrayPage(8, 8, 8), 300, 300)});
    const std::string strip = dir.File("strip.tif");
    WriteTiffFile(
        strip, {WithResolution(engine::testing::BilevelPage(100000, 20, COMPRESSION_CCITTFAX4), 300,
                               300)});
    const std::string existing = dir.File("existing.pdf");
    engine::testing::WriteFileBytes(existing, {'k', 'e', 'e', 'p'});
    // A folder that cannot take the file, whatever the rights of who runs this.
    const std::string locked = dir.File("plain-file");
    engine::testing::WriteFileBytes(locked, {'x'});

    struct Refusal {
        std::vector<std::string> args;
        int status;
        std::string says;
        std::string target;
    };
    const std::vector<Refusal> refusals = {
        {{"pdf", good, proprietary, "-o", dir.File("out.pdf")},
         1,
         "blc.mdi, page 1",
         dir.File("out.pdf")},
        {{"pdf", good, damaged, "-o", dir.File("out.pdf")},
         1,
         "damaged.tif, page 1",
         dir.File("out.pdf")},
        {{"pdf", good, pastEnd, "-o", dir.File("out.pdf")},
         1,
         "past-end.tif, page 1",
         dir.File("out.pdf")},
        {{"pdf", good, farTooShort, "-o", dir.File("out.pdf")},
         1,
         "far-too-short.tif, page 1: the page's image data is far too short",
         dir.File("out.pdf")},
        {{"pdf", good, tiny, "-o", dir.File("out.pdf")},
         1,
         "tiny.tif, page 1 is 1.92 x 1.92 points, which no PDF page can be",
         dir.File("out.pdf")},
        {{"pdf", good, strip, "-o", dir.File("out.pdf")},
         1,
         "strip.tif, page 1 is 24000 x 4.8 points",
         dir.File("out.pdf")},
        {{"pdf", good, "-o", existing}, 1, "--overwrite", ""},
        {{"pdf", good, "-o", good, "--overwrite"}, 1, "input", ""},
        {{"pdf", good, "-o", locked + "/out.pdf"}, 1, "plain-file", ""},
        {{"pdf", good}, 2, "-o", ""},
        {{"pdf", "-o", dir.File("none.pdf")}, 2, "document", dir.File("none.pdf")},
        {{"pdf", good, "-o", dir.File("r.pdf"), "--rotate", "45"}, 2, "45", dir.File("r.pdf")},
    };
    for (const Refusal& refusal : refusals) {
        const ToolResult r = RunTool(refusal.args);
        EXPECT_EQ(r.status, refusal.status) << r.err;
        EXPECT_NE(r.err.find(refusal.says), std::string::npos) << r.err;
        if (!refusal.target.empty()) {
            EXPECT_FALSE(std::filesystem::exists(refusal.target)) << refusal.target;
        }
    }
    EXPECT_EQ(engine::testing::ReadFileBytes(existing), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    // Nothing but what the test made is left in the folders.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 9u);
}

// ---- damaged documents: what can be read is shown, the rest is named

struct DamagedCase {
    const char* name;
    // The file's bytes: a 100 x 50 first page, a 60 x 80 second one, and the damage.
    std::function<std::vector<uint8_t>()> bytes;
    int readable;      // pages `info` lists
    int damagedPage;   // the page that cannot be written, from 1
    bool chainBreaks;  // info fails: the pages after the break cannot be read
    const char* says;  // part of the reason
    double width;      // the stand-in page's size, points (72 dpi pages)
    double height;
};

void PrintTo(const DamagedCase& c, std::ostream* out) {
    *out << c.name;
}

engine::testing::RawTiffBuilder TwoPages() {
    engine::testing::RawTiffBuilder b;
    b.AddSimplePage(100, 50, 8, COMPRESSION_NONE, std::vector<uint8_t>(100 * 50, 0x40));
    b.AddSimplePage(60, 80, 8, COMPRESSION_NONE, std::vector<uint8_t>(60 * 80, 0x80));
    return b;
}

std::vector<DamagedCase> DamagedCases() {
    return {
        {"ChainLoops",
         [] {
             auto b = TwoPages();
             b.SetNext(1, b.IfdOffset(0));
             return b.Bytes();
         },
         2, 3, true, "the page chain loops back after page 2", 60, 80},
        {"NextPagePastTheEnd",
         [] {
             auto b = TwoPages();
             b.SetNext(1, 0x7FFFFFF0);
             return b.Bytes();
         },
         2, 3, true, "past the end of the file", 60, 80},
        {"TruncatedAfterPageOne",
         [] {
             auto b = TwoPages();
             auto bytes = b.Bytes();
             bytes.resize(b.IfdOffset(1) + 5);
             return bytes;
         },
         1, 2, true, "damaged or truncated", 100, 50},
        {"MdiCompression",
         [] {
             engine::testing::RawTiffBuilder b;
             b.AddSimplePage(100, 50, 8, COMPRESSION_NONE, std::vector<uint8_t>(100 * 50, 0x40));
             b.AddSimplePage(60, 80, 1, 34719, std::vector<uint8_t>(40, 0x55), 0);
             b.AddSimplePage(30, 30, 8, COMPRESSION_NONE, std::vector<uint8_t>(30 * 30, 0x40));
             return b.Bytes();
         },
         3, 2, false, "34719", 60, 80},
        {"DamagedData",
         [] {
             engine::testing::RawTiffBuilder b;
             b.AddSimplePage(100, 50, 8, COMPRESSION_NONE, std::vector<uint8_t>(100 * 50, 0x40));
             // PackBits: not copied as stored into a TIFF, so both writers decode it.
             b.AddSimplePage(60, 80, 8, COMPRESSION_PACKBITS, std::vector<uint8_t>(3, 0x80));
             return b.Bytes();
         },
         2, 2, false, "image data", 60, 80},
        {"PaletteWithoutColourMap",
         [] {
             auto b = TwoPages();
             // An 8-bit palette page: libtiff alone would read its indices as gray.
             b.AddSimplePage(60, 80, 8, COMPRESSION_NONE, std::vector<uint8_t>(60 * 80, 7),
                             PHOTOMETRIC_PALETTE);
             return b.Bytes();
         },
         3, 3, false, "its colours cannot be known", 60, 80},
    };
}

class DamagedDocumentTest : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedDocumentTest, InfoListsWhatCanBeReadAndSkippingWritesTheRest) {
    const DamagedCase& c = GetParam();
    TempDir dir;
    const std::string input = dir.File("scan.tif");
    engine::testing::WriteFileBytes(input, c.bytes());
    const std::string page = "page " + std::to_string(c.damagedPage);

    const ToolResult info = RunTool({"info", input});
    EXPECT_EQ(info.status, c.chainBreaks ? 1 : 0) << info.err;
    for (int listed = 1; listed <= c.readable; ++listed) {
        EXPECT_NE(info.out.find("  page " + std::to_string(listed) + ": "), std::string::npos)
            << info.out;
    }
    EXPECT_EQ(info.out.find("  page " + std::to_string(c.readable + 1) + ": "), std::string::npos)
        << info.out;
    if (c.chainBreaks) {
        EXPECT_EQ(info.ErrLines(), 1) << info.err;
        EXPECT_NE(info.err.find("scan.tif, " + page + ": "), std::string::npos) << info.err;
        EXPECT_NE(info.err.find(c.says), std::string::npos) << info.err;
    }

    // Without --skip-damaged both refuse, naming the page, and write nothing.
    const std::string pdf = dir.File("out.pdf");
    const std::string tiff = dir.File("out.tiff");
    for (const ToolResult& refused :
         {RunTool({"pdf", input, "-o", pdf}), RunTool({"export", input, tiff})}) {
        EXPECT_EQ(refused.status, 1) << refused.err;
        EXPECT_NE(refused.err.find(page), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find(c.says), std::string::npos) << refused.err;
    }
    EXPECT_FALSE(std::filesystem::exists(pdf));
    EXPECT_FALSE(std::filesystem::exists(tiff));

    // A PDF page of the same size states the page and the reason.
    const ToolResult skipped = RunTool({"pdf", input, "-o", pdf, "--skip-damaged"});
    EXPECT_EQ(skipped.status, 3) << skipped.err;
    EXPECT_NE(skipped.err.find("warning: " + page), std::string::npos) << skipped.err;
    EXPECT_TRUE(QpdfChecks(pdf));
    const std::vector<PdfPage> pages = ReadPages(pdf);
    const int total = std::max(c.readable, c.damagedPage);
    ASSERT_EQ(pages.size(), static_cast<size_t>(total));
    EXPECT_NEAR(pages[static_cast<size_t>(c.damagedPage - 1)].width, c.width, 0.01);
    EXPECT_NEAR(pages[static_cast<size_t>(c.damagedPage - 1)].height, c.height, 0.01);
    const std::string number = std::to_string(c.damagedPage);
    std::string text = Shell("pdftotext -f " + number + " -l " + number + " " + Quoted(pdf) + " -");
    std::replace(text.begin(), text.end(), '\n', ' ');
    EXPECT_NE(text.find("Page " + number), std::string::npos) << text;
    EXPECT_NE(text.find(c.says), std::string::npos) << text;

    // A TIFF leaves the page out.
    const ToolResult left = RunTool({"export", input, tiff, "--skip-damaged"});
    EXPECT_EQ(left.status, 3) << left.err;
    EXPECT_NE(left.err.find("warning: " + page + " left out"), std::string::npos) << left.err;
    TIFF* exported = TIFFOpen(tiff.c_str(), "r");
    ASSERT_NE(exported, nullptr);
    EXPECT_EQ(TIFFNumberOfDirectories(exported), static_cast<tdir_t>(total - 1));
    // Each page's number counts the pages the file holds, also when the damage was
    // found only as the page was decoded, after earlier pages were written.
    int index = 0;
    do {
        uint16_t number = 0;
        uint16_t count = 0;
        ASSERT_EQ(TIFFGetField(exported, TIFFTAG_PAGENUMBER, &number, &count), 1);
        EXPECT_EQ(number, index);
        EXPECT_EQ(count, total - 1);
        ++index;
    } while (TIFFReadDirectory(exported) == 1);
    TIFFClose(exported);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamagedDocumentTest, ::testing::ValuesIn(DamagedCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- pages read in spite of damage: written as read, named, or refused with --strict

struct ReadDamagedCase {
    const char* name;
    // The damaged second page, after a sound 100 x 50 one.
    std::function<void(engine::testing::RawTiffBuilder&, const TempDir&)> addPage;
    const char* says;  // libtiff's words, in part
    // The damage lies in CCITT data the structural checks pass: found only once
    // decoded (--verify, or render), as the page is otherwise passed through.
    bool inData;
};

void PrintTo(const ReadDamagedCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<ReadDamagedCase> ReadDamagedCases() {
    using Raw = engine::testing::RawTiffBuilder;
    // An uncompressed 8-bit gray page of 60 x 80 whose directory is given `tags`.
    const auto gray = [](Raw& b, std::vector<Raw::Tag> tags, uint32_t rowsPerStrip) {
        const uint32_t data = b.AddData(std::vector<uint8_t>(60 * 80, 0x80));
        tags.insert(tags.end(),
                    {Raw::Long(256, 60), Raw::Long(257, 80), Raw::Short(258, 8),
                     Raw::Short(259, COMPRESSION_NONE), Raw::Short(262, 1), Raw::Long(273, data),
                     Raw::Short(277, 1), Raw::Long(278, rowsPerStrip)});
        b.AddIfd(tags);
    };
    return {
        {"NoByteCounts", [gray](Raw& b, const TempDir&) { gray(b, {}, 80); },
         "missing required \"StripByteCounts\"", false},
        {"CountPastTheEnd",
         [gray](Raw& b, const TempDir&) { gray(b, {Raw::Long(279, 0x7FFFFFF0)}, 80); },
         "Bogus \"StripByteCounts\"", false},
        {"FewerStripsThanRowsNeed",
         [gray](Raw& b, const TempDir&) { gray(b, {Raw::Long(279, 60 * 80)}, 20); },
         "Incorrect count for \"StripOffsets\"", false},
        {"GarbageInCcittData",
         [](Raw& b, const TempDir& dir) {
             std::vector<uint8_t> g4 = G4Strip(dir, 400, 300);
             // The middle of the stream overwritten, as by a bad sector.
             uint32_t noise = 12345;
             for (size_t i = g4.size() * 2 / 5; i < g4.size() * 3 / 5; ++i) {
                 noise = noise * 1103515245 + 12345;
                 g4[i] = static_cast<uint8_t>(noise >> 16);
             }
             b.AddSimplePage(400, 300, 1, COMPRESSION_CCITTFAX4, g4, PHOTOMETRIC_MINISWHITE);
         },
         "at line", true},
    };
}

class ReadDamagedTest : public ::testing::TestWithParam<ReadDamagedCase> {};

TEST_P(ReadDamagedTest, IsNamedWrittenAsReadAndRefusedWhenStrict) {
    const ReadDamagedCase& c = GetParam();
    TempDir dir;
    engine::testing::RawTiffBuilder b;
    b.AddSimplePage(100, 50, 8, COMPRESSION_NONE, std::vector<uint8_t>(100 * 50, 0x40));
    c.addPage(b, dir);
    const std::string input = dir.File("scan.tif");
    engine::testing::WriteFileBytes(input, b.Bytes());
    const std::string warning = "warning: page 2 written as read, damaged: ";
    const auto named = [&](const ToolResult& r) {
        EXPECT_NE(r.err.find(warning + input + ", page 2: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("page 1"), std::string::npos) << r.err;
    };

    // info: from the directory, or once every page is decoded.
    const ToolResult info = RunTool({"info", input});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out.find("page 2: ") != std::string::npos &&
                  info.out.find("damaged (") != std::string::npos,
              !c.inData)
        << info.out;
    const ToolResult verified = RunTool({"info", "--verify", input});
    EXPECT_EQ(verified.status, 0) << verified.err;
    EXPECT_NE(verified.out.find(", damaged ("), std::string::npos) << verified.out;
    EXPECT_NE(verified.out.find(c.says), std::string::npos) << verified.out;
    EXPECT_EQ(verified.out.find("damaged"), verified.out.rfind("damaged")) << "page 1 is sound";
    const ToolResult json = RunTool({"info", "--json", "--verify", input});
    const QJsonArray pages = QJsonDocument::fromJson(QByteArray::fromStdString(json.out))
                                 .array()[0]
                                 .toObject()["pages"]
                                 .toArray();
    ASSERT_EQ(pages.size(), 2) << json.out;
    EXPECT_TRUE(pages[0]["damage"].isNull()) << json.out;
    EXPECT_NE(pages[1]["damage"].toString().indexOf(QString::fromUtf8(c.says)), -1) << json.out;

    // Written as read, each page named, status 3; CCITT data passed through is
    // decoded only with --verify.
    const std::string pdf = dir.File("out.pdf");
    const std::string tiff = dir.File("out.tiff");
    const std::string png = dir.File("out.png");
    std::vector<std::string> pdfArgs{"pdf", input, "-o", pdf};
    std::vector<std::string> exportArgs{"export", input, tiff};
    if (c.inData) {
        const ToolResult passed = RunTool(pdfArgs);
        EXPECT_EQ(passed.status, 0) << passed.err;
        EXPECT_EQ(RunTool(exportArgs).status, 0);
        std::filesystem::remove(pdf);
        pdfArgs.push_back("--verify");
        exportArgs.push_back("--verify");
    }
    const ToolResult written = RunTool(pdfArgs);
    EXPECT_EQ(written.status, 3) << written.err;
    named(written);
    EXPECT_TRUE(QpdfChecks(pdf));
    EXPECT_EQ(ReadPages(pdf).size(), 2u);
    const ToolResult exported = RunTool(exportArgs);
    EXPECT_EQ(exported.status, 3) << exported.err;
    named(exported);
    TIFF* tif = TIFFOpen(tiff.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    EXPECT_EQ(TIFFNumberOfDirectories(tif), 2u);
    TIFFClose(tif);
    const std::vector<std::string> renderArgs{"render",  input, "--page", "2",
                                              "--scale", "1",   "-o",     png};
    const ToolResult rendered = RunTool(renderArgs);
    EXPECT_EQ(rendered.status, 3) << rendered.err;
    named(rendered);
    EXPECT_TRUE(std::filesystem::exists(png));

    // --strict refuses, naming the page, and what was there stays as it was.
    const std::vector<uint8_t> kept{'k', 'e', 'e', 'p'};
    for (const std::string& target : {pdf, tiff, png}) {
        engine::testing::WriteFileBytes(target, kept);
    }
    const std::string fresh = dir.File("fresh.pdf");
    auto strict = [](std::vector<std::string> args) {
        args.push_back("--strict");
        return args;
    };
    std::vector<std::string> overwrite = strict(pdfArgs);
    overwrite.push_back("--overwrite");
    std::vector<std::string> freshArgs = strict(pdfArgs);
    freshArgs[3] = fresh;
    for (const auto& args : {overwrite, strict(exportArgs), strict(renderArgs), freshArgs}) {
        const ToolResult refused = RunTool(args);
        EXPECT_EQ(refused.status, 1) << args[0] << ": " << refused.err;
        EXPECT_NE(refused.err.find("page 2 is damaged: "), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find(c.says), std::string::npos) << refused.err;
    }
    for (const std::string& target : {pdf, tiff, png}) {
        EXPECT_EQ(engine::testing::ReadFileBytes(target), kept) << target;
    }
    EXPECT_FALSE(std::filesystem::exists(fresh));

    // A batch: written as read and counted; with --strict (which verifies) refused.
    const std::string out = dir.File("batch");
    const ToolResult batch = RunTool({"pdf", "--output-dir", out, input});
    EXPECT_EQ(batch.status, c.inData ? 0 : 3) << batch.err;
    EXPECT_EQ(batch.out.find("1 page written damaged") != std::string::npos, !c.inData)
        << batch.out;
    const ToolResult strictBatch =
        RunTool({"export", "--output-dir", out, "--strict", "--overwrite", input});
    EXPECT_EQ(strictBatch.status, 1) << strictBatch.err;
    EXPECT_NE(strictBatch.err.find("page 2 is damaged: "), std::string::npos) << strictBatch.err;
    EXPECT_FALSE(std::filesystem::exists(out + "/scan.tiff"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, ReadDamagedTest, ::testing::ValuesIn(ReadDamagedCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- batch conversion

std::vector<std::string> FilesUnder(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_directory()) {
            files.push_back(entry.path().lexically_relative(folder).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(ConvertBatch, ConvertsTheGoodFilesOfATreeAndNamesTheRest) {
    TempDir dir;
    const std::string tree = dir.File("tree");
    std::filesystem::create_directories(tree + "/a/b");
    std::filesystem::create_directories(tree + "/c");
    const std::string sample = FOLIO_SOURCE_TREE "/samples/sample.mdi";
    std::filesystem::copy_file(sample, tree + "/a/one.mdi");
    WriteTiffFile(tree + "/a/b/two.TIF", {engine::testing::GrayPage(30, 20, 8)});
    WriteTiffFile(tree + "/same.tif", {engine::testing::GrayPage(10, 10, 8)});
    std::filesystem::copy_file(tree + "/same.tif", tree + "/same.mdi");
    engine::testing::RawTiffBuilder shortData;
    shortData.AddSimplePage(64, 64, 8, COMPRESSION_LZW, std::vector<uint8_t>(3, 0x80));
    engine::testing::WriteFileBytes(tree + "/c/damaged.tif", shortData.Bytes());
    engine::testing::WriteFileBytes(tree + "/c/notes.txt", {'h', 'i'});
    engine::testing::WriteFileBytes(tree + "/c/text.tif", {'h', 'i'});
    // A link back up (a loop if followed) and the output folder inside the input.
    std::filesystem::create_directory_symlink("..", tree + "/a/b/up");
    const std::string out = tree + "/out";
    std::filesystem::create_directories(out);
    engine::testing::WriteFileBytes(out + "/stale.tif", {'x'});

    const ToolResult first = RunTool({"pdf", "--output-dir", out, "--recursive", tree});
    EXPECT_EQ(first.status, 1) << first.err;
    // Two inputs that would share "same.pdf" keep their own extensions in the names.
    EXPECT_EQ(FilesUnder(out), (std::vector<std::string>{"a/b/two.pdf", "a/one.pdf", "same.mdi.pdf",
                                                         "same.tif.pdf", "stale.tif"}));
    for (const char* named : {"c/damaged.tif: ", "c/text.tif: "}) {
        EXPECT_NE(first.err.find(named), std::string::npos) << named << "\n" << first.err;
    }
    EXPECT_EQ(first.ErrLines(), 2) << first.err;
    EXPECT_NE(first.out.find("4 of 6 files converted (6 pages), 2 failed"), std::string::npos)
        << first.out;
    EXPECT_NE(first.out.find("2 kept their own extension"), std::string::npos) << first.out;
    EXPECT_EQ(ReadPages(out + "/a/one.pdf").size(), 3u);

    // An existing output is kept unless --overwrite; exports become .tiff.
    engine::testing::WriteFileBytes(out + "/one.tiff", {'k'});
    const ToolResult kept = RunTool({"export", "--output-dir", out, tree + "/a/one.mdi"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(engine::testing::ReadFileBytes(out + "/one.tiff"), std::vector<uint8_t>{'k'});
    const ToolResult replaced =
        RunTool({"export", "--output-dir", out, "--overwrite", tree + "/a/one.mdi"});
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    TIFF* exported = TIFFOpen((out + "/one.tiff").c_str(), "r");
    ASSERT_NE(exported, nullptr);
    EXPECT_EQ(TIFFNumberOfDirectories(exported), 3u);
    TIFFClose(exported);

    const ToolResult folder = RunTool({"pdf", "--output-dir", out, tree});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("--recursive"), std::string::npos) << folder.err;
    EXPECT_EQ(RunTool({"pdf", "--recursive", tree, "-o", dir.File("x.pdf")}).status, 2);
    EXPECT_EQ(RunTool({"pdf", "--output-dir", out, "-o", dir.File("x.pdf"), tree}).status, 2);
}

// Inputs whose output names would clash: each keeps its own extension in its
// name, and a name that still clashes is refused for every input that has it.
TEST(ConvertBatch, InputsSharingAnOutputNameKeepTheirExtensions) {
    struct Case {
        std::vector<std::string> inputs;  // files made in the folder, in the order given
        std::vector<std::string> written;
        std::vector<std::string> refused;
        bool summaryNotesRenaming;
    };
    const std::vector<Case> cases = {
        {{"a.mdi", "a.tif"}, {"a.mdi.tiff", "a.tif.tiff"}, {}, true},
        {{"b.TIFF", "b.tiff"}, {"b.TIFF.tiff", "b.tiff.tiff"}, {}, true},
        {{"c.tif", "d.tif"}, {"c.tiff", "d.tiff"}, {}, false},
        // Renamed, "e.mdi" would take the name "e.mdi.tif" has.
        {{"e.mdi", "e.tif", "e.mdi.tif"}, {"e.tif.tiff"}, {"e.mdi", "e.mdi.tif"}, true},
        // The same name in two folders stays shared.
        {{"x/f.tif", "y/f.tif"}, {}, {"x/f.tif", "y/f.tif"}, false},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::vector<std::string> args{"export", "--output-dir", dir.File("out")};
        for (const std::string& input : c.inputs) {
            std::filesystem::create_directories(
                std::filesystem::path(dir.File(input)).parent_path());
            WriteTiffFile(dir.File(input), {engine::testing::GrayPage(8, 8, 8)});
            args.push_back(dir.File(input));
        }
        const ToolResult r = RunTool(args);
        const std::string context = c.inputs[0] + "...\n" + r.out + r.err;
        EXPECT_EQ(r.status, c.refused.empty() ? 0 : 1) << context;
        std::vector<std::string> written = c.written;
        std::sort(written.begin(), written.end());
        EXPECT_EQ(std::filesystem::exists(dir.File("out")) ? FilesUnder(dir.File("out"))
                                                           : std::vector<std::string>{},
                  written)
            << context;
        EXPECT_EQ(r.ErrLines(), static_cast<int>(c.refused.size())) << context;
        for (const std::string& input : c.refused) {
            EXPECT_NE(r.err.find(dir.File(input) + ": another input"), std::string::npos)
                << context;
        }
        EXPECT_EQ(r.out.find("kept their own extension") != std::string::npos,
                  c.summaryNotesRenaming)
            << context;
    }
}

// A folder of the tree that cannot be read is named, counted as a failure, and
// the rest of the tree is still converted. Run as root, the tool drops to an
// unprivileged user, as rights do not stop root.
TEST(ConvertBatch, UnreadableFolderIsNamedAndTheRestConverted) {
    TempDir dir;
    const std::string tree = dir.File("tree");
    for (const char* folder : {"/a/locked", "/b", "/z"}) {
        std::filesystem::create_directories(tree + folder);
    }
    WriteTiffFile(tree + "/a/locked/hidden.tif", {engine::testing::GrayPage(8, 8, 8)});
    WriteTiffFile(tree + "/b/one.tif", {engine::testing::GrayPage(8, 8, 8)});
    WriteTiffFile(tree + "/z/two.tif", {engine::testing::GrayPage(8, 8, 8)});
    const std::string out = dir.File("out");
    std::filesystem::create_directory(out);
    namespace fs = std::filesystem;
    std::vector<std::string> asUser;
    if (::geteuid() == 0) {
        for (const auto& entry : fs::recursive_directory_iterator(dir.Path())) {
            fs::permissions(entry.path(), fs::perms::others_read | fs::perms::others_exec,
                            fs::perm_options::add);
        }
        fs::permissions(dir.Path(), fs::perms::others_read | fs::perms::others_exec,
                        fs::perm_options::add);
        fs::permissions(out, fs::perms::all, fs::perm_options::add);
        asUser = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                  FOLIO_CONVERT_TOOL};
    }
    fs::permissions(tree + "/a/locked", fs::perms::none);
    const ToolResult r = RunTool({"pdf", "--output-dir", out, "--recursive", tree}, asUser);
    fs::permissions(tree + "/a/locked", fs::perms::owner_all);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(tree + "/a/locked: cannot be read"), std::string::npos) << r.err;
    EXPECT_EQ(r.ErrLines(), 1) << r.err;
    EXPECT_EQ(FilesUnder(out), (std::vector<std::string>{"b/one.pdf", "z/two.pdf"}));
    EXPECT_NE(r.out.find("2 of 3 files converted (2 pages), 1 failed"), std::string::npos) << r.out;
}

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// Pages skipped make the status 3 and are counted; a file that fails still makes it 1.
TEST(ConvertBatch, SkippedPagesAreCountedAndAFailedFileStillFails) {
    TempDir dir;
    auto chain = TwoPages();
    chain.SetNext(1, chain.IfdOffset(0));
    engine::testing::WriteFileBytes(dir.File("loop.tif"), chain.Bytes());
    engine::testing::WriteFileBytes(dir.File("text.tif"), {'h', 'i'});
    for (const char* command : {"pdf", "export"}) {
        SCOPED_TRACE(command);
        const std::string out = dir.File(std::string("out-") + command);
        const ToolResult skipped =
            RunTool({command, "--output-dir", out, "--skip-damaged", dir.File("loop.tif")});
        EXPECT_EQ(skipped.status, 3) << skipped.err;
        EXPECT_NE(skipped.err.find("loop.tif, page 3: "), std::string::npos) << skipped.err;
        // The file and the page are named once each, whoever found the damage.
        EXPECT_EQ(Occurrences(skipped.err, "loop.tif"), 1u) << skipped.err;
        EXPECT_NE(skipped.out.find("1 of 1 files converted (3 pages, 1 damaged page skipped)"),
                  std::string::npos)
            << skipped.out;
        const ToolResult failed =
            RunTool({command, "--output-dir", out, "--skip-damaged", "--overwrite",
                     dir.File("loop.tif"), dir.File("text.tif")});
        EXPECT_EQ(failed.status, 1) << failed.err;
        EXPECT_EQ(Occurrences(failed.err, "text.tif"), 1u) << failed.err;
        EXPECT_EQ(
            RunTool({command, "--output-dir", out, "--overwrite", dir.File("loop.tif")}).status, 1);
    }
}

}  // namespace
}  // namespace folio::convert
