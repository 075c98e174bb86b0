// Draws the bundled sample document and writes it as an .mdi file: a bilevel
// 300-dpi A4 text page (CCITT G4), an 8-bit gray page (Deflate) and an RGB colour
// page (LZW). Usage: make-sample OUT.mdi
#include <tiffio.h>

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int kA4Width300 = 2480;
constexpr int kA4Height300 = 3508;
constexpr int kA4Width100 = 827;
constexpr int kA4Height100 = 1169;

const char* const kBody[] = {
    "This document comes with FolioLens so that there is something to open",
    "right after building it. It has three pages, each of a different kind:",
    "",
    "  1. this page: black and white at 300 dots per inch, compressed as",
    "     CCITT Group 4, the way fax machines and office scanners store text;",
    "  2. a gray page with eight bits per pixel, compressed with Deflate;",
    "  3. a colour page in RGB, compressed with LZW.",
    "",
    "Try zooming in on these lines: the letters stay sharp at any size, and",
    "when the page is shown smaller than its real size the strokes turn gray",
    "rather than breaking apart.",
    "",
    "Turn the pages with the rotate commands, then export the document to a",
    "TIFF file: black and white pages are written in Group 4, the others",
    "without loss, each in its own depth and colours.",
    "",
    "The file itself is a little-endian TIFF whose first bytes read EP*",
    "instead of II*. That is all that sets it apart from an ordinary TIFF.",
};

QFont Font(int pixelSize, bool bold = false) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

QImage TextPage() {
    QImage page(kA4Width300, kA4Height300, QImage::Format_Grayscale8);
    page.fill(Qt::white);
    QPainter p(&page);
    p.setPen(Qt::black);
    p.setFont(Font(96, true));
    p.drawText(236, 420, QStringLiteral("FolioLens sample document"));
    p.fillRect(236, 470, 2008, 8, Qt::black);
    p.setFont(Font(50));
    int y = 640;
    for (const char* line : kBody) {
        p.drawText(236, y, QString::fromUtf8(line));
        y += 80;
    }
    p.setFont(Font(38));
    p.drawText(236, 3300, QStringLiteral("Page 1 of 3 - bilevel, 300 dpi, CCITT G4"));
    return page;
}

QImage GrayPage() {
    QImage page(kA4Width100, kA4Height100, QImage::Format_Grayscale8);
    QPainter p(&page);
    QLinearGradient sky(0, 0, 0, kA4Height100);
    sky.setColorAt(0, QColor(250, 250, 250));
    sky.setColorAt(1, QColor(90, 90, 90));
    p.fillRect(page.rect(), sky);
    QRadialGradient disc(QPointF(413, 520), 260);
    disc.setColorAt(0, Qt::white);
    disc.setColorAt(1, QColor(30, 30, 30));
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(disc);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(413, 520), 260, 260);
    p.setPen(Qt::black);
    p.setFont(Font(40, true));
    p.drawText(80, 110, QStringLiteral("A gray page"));
    p.setFont(Font(22));
    p.drawText(80, 1100, QStringLiteral("Page 2 of 3 - 8-bit gray, 100 dpi, Deflate"));
    return page;
}

QImage ColourPage() {
    QImage page(kA4Width100, kA4Height100, QImage::Format_RGB888);
    page.fill(QColor(255, 253, 240));
    QPainter p(&page);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colours[] = {QColor(200, 40, 40),  QColor(40, 150, 60),  QColor(40, 80, 200),
                              QColor(240, 190, 30), QColor(140, 60, 170), QColor(20, 160, 170)};
    for (int i = 0; i < 6; ++i) {
        p.setBrush(colours[i]);
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(80 + (i % 3) * 230, 220 + (i / 3) * 300, 200, 260, 24, 24);
    }
    p.setPen(QColor(30, 30, 30));
    p.setFont(Font(40, true));
    p.drawText(80, 110, QStringLiteral("A colour page"));
    p.setFont(Font(22));
    p.drawText(80, 1100, QStringLiteral("Page 3 of 3 - RGB, 100 dpi, LZW"));
    return page;
}

struct Page {
    QImage image;
    uint16_t bits;
    uint16_t samples;
    uint16_t photometric;
    uint16_t compression;
    float dpi;
};

// One bit per pixel, 1 = black (MinIsWhite).
std::vector<uint8_t> BilevelRow(const QImage& image, int y) {
    std::vector<uint8_t> row((image.width() + 7) / 8, 0);
    const uchar* in = image.constScanLine(y);
    for (int x = 0; x < image.width(); ++x) {
        if (in[x] < 128) {
            row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    }
    return row;
}

bool WritePage(TIFF* tif, const Page& page, int index, int count) {
    const QImage& image = page.image;
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width()));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height()));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, page.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, page.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, page.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, page.compression);
    if (page.compression != COMPRESSION_CCITTFAX4) {
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, page.dpi);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, page.dpi);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(index),
                 static_cast<uint16_t>(count));
    TIFFSetField(tif, TIFFTAG_SOFTWARE, "FolioLens make-sample");
    for (int y = 0; y < image.height(); ++y) {
        std::vector<uint8_t> row;
        if (page.bits == 1) {
            row = BilevelRow(image, y);
        } else {
            const uchar* line = image.constScanLine(y);
            row.assign(line, line + static_cast<size_t>(image.width()) * page.samples);
        }
        if (TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) != 1) {
            return false;
        }
    }
    return TIFFWriteDirectory(tif) == 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-sample OUT.mdi\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    const std::string out = argv[1];
    const std::string temp = out + ".partial";
    const Page pages[] = {
        {TextPage(), 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4, 300.f},
        {GrayPage(), 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_ADOBE_DEFLATE, 100.f},
        {ColourPage(), 8, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW, 100.f},
    };
    TIFF* tif = TIFFOpen(temp.c_str(), "wl");
    if (tif == nullptr) {
        std::fprintf(stderr, "make-sample: cannot create %s\n", temp.c_str());
        return 1;
    }
    bool ok = true;
    for (int i = 0; i < 3 && ok; ++i) {
        ok = WritePage(tif, pages[i], i, 3);
    }
    TIFFClose(tif);
    // The .mdi container: the little-endian TIFF header with "EP" for "II".
    std::fstream file(temp, std::ios::in | std::ios::out | std::ios::binary);
    ok = ok && file.good() && file.write("EP", 2).good();
    file.close();
    if (!ok || std::rename(temp.c_str(), out.c_str()) != 0) {
        std::remove(temp.c_str());
        std::fprintf(stderr, "make-sample: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}
