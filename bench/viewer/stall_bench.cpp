// How long the user-interface thread stalls, and how large the process grows, while the
// viewer (900 x 700 px at fit to width) jumps with End to a cold page or pages with
// Page Down through a whole document. A 1 ms timer runs all along; its largest gap is
// the longest stall.
//
//   viewer_stall make FOLDER             writes the documents, and one 300-dpi A4 colour
//                                        JPEG page (a4-colour.tif) (kept out of the runs'
//                                        memory, so make them in a process of their own)
//   viewer_stall SCENARIO FOLDER         prints "SCENARIO stall_ms=… busy_ms=…
//                                        peak_rss_mb=…"; busy_ms leaves out the time
//                                        other processes held the processor
//
// Scenarios: end-colour (End on a 100-page 300-dpi colour JPEG document), end-600
// (End on a 2-page 600-dpi bilevel document), page-g4 (Page Down through 501 300-dpi
// G4 pages), page-colour (Page Down through the colour document), thumbs-g4 and
// thumbs-colour (F9, then the thumbnail strip scrolled a screen further each time those
// in view are made, to the last page: every thumbnail of the document is made; their
// number is printed as thumbnails=…), rotate-g4 (every page of the 501-page document
// turned clockwise one after another, as Rotate does), idle (six seconds of nothing
// asked: the gaps a busy machine makes by itself, to read the others against).
#include <sys/resource.h>
#include <tiffio.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/document/engine_document.h"
#include "engine/widget/document_view.h"
#include "engine/widget/thumbnail_strip.h"
#include "support/test_document.h"

namespace {

constexpr uint32_t kLetterWidth = 2550;  // US Letter at 300 dpi
constexpr uint32_t kLetterHeight = 3300;

struct Kind {
    uint32_t width;
    uint32_t height;
    double dpi;
    bool colour;
};

// Colour content that compresses like a photo with text: smooth gradients, blocks.
std::vector<uint8_t> ColourPixels(uint32_t width, uint32_t height) {
    std::vector<uint8_t> rgb(size_t{width} * height * 3);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(size_t{y} * width + x) * 3];
            const bool ink = (y / 40) % 3 == 1 && (x / 25) % 5 != 0 && x > 200 && x < width - 200;
            p[0] = ink ? 20 : static_cast<uint8_t>(200 + 55 * x / width);
            p[1] = ink ? 30 : static_cast<uint8_t>(180 + 75 * y / height);
            p[2] = ink ? 90
                       : static_cast<uint8_t>(128 + 127 * std::sin(x * 0.01) * std::cos(y * 0.01));
        }
    }
    return rgb;
}

void WriteDocument(const std::string& path, int pages, const Kind& kind) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) {
        throw std::runtime_error("cannot create " + path);
    }
    std::vector<uint8_t> pixels;
    if (kind.colour) {
        pixels = ColourPixels(kind.width, kind.height);
    } else {
        pixels = folio::viewer::testing::TextLikePage(kind.width, kind.height, kind.dpi, 7).pixels;
    }
    const size_t rowBytes = kind.colour ? size_t{kind.width} * 3 : (kind.width + 7) / 8;
    bool ok = true;
    for (int page = 0; page < pages && ok; ++page) {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kind.width);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kind.height);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(kind.dpi));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(kind.dpi));
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        if (kind.colour) {
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 80);
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
        } else {
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kind.height);
        }
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        for (uint32_t y = 0; y < kind.height && ok; ++y) {
            ok = TIFFWriteScanline(tif, pixels.data() + rowBytes * y, y, 0) == 1;
        }
        ok = ok && TIFFWriteDirectory(tif) == 1;
    }
    TIFFClose(tif);
    if (!ok) {
        throw std::runtime_error("cannot write " + path);
    }
}

const Kind kColour{kLetterWidth, kLetterHeight, 300.0, true};
const Kind kG4{kLetterWidth, kLetterHeight, 300.0, false};
const Kind kG4Fine{kLetterWidth * 2, kLetterHeight * 2, 600.0, false};

void Make(const std::string& folder) {
    WriteDocument(folder + "/colour.tif", 100, kColour);
    WriteDocument(folder + "/g4.tif", 501, kG4);
    WriteDocument(folder + "/g4-600.tif", 2, kG4Fine);
    WriteDocument(folder + "/a4-colour.tif", 1, Kind{2480, 3508, 300.0, true});
}

double PeakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

int64_t ThreadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

struct Gaps {
    double wallMs = 0.0;  // the largest gap between ticks
    double busyMs = 0.0;  // the most this thread computed between two ticks: the stall
                          // with the time other processes took the processor left out
};

// Runs the event loop with the 1 ms timer until `step` says it is done (called every
// `every` ms), then `settle` ms more.
Gaps LargestGap(const std::function<bool()>& step, int every, int settle) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    int64_t lastCpu = ThreadCpuNs();
    qint64 largest = 0;
    int64_t busiest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const int64_t cpu = ThreadCpuNs();
        largest = std::max(largest, now - last);
        busiest = std::max(busiest, cpu - lastCpu);
        last = now;
        lastCpu = cpu;
    });
    tick.start();
    QEventLoop loop;
    QTimer driver;
    driver.setInterval(every);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (!step()) {
            driver.stop();
            QTimer::singleShot(settle, &loop, &QEventLoop::quit);
        }
    });
    driver.start();
    loop.exec();
    return {largest / 1e6, busiest / 1e6};
}

void Key(folio::viewer::DocumentView& view, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
}

int Run(const std::string& scenario, const std::string& folder) {
    const bool colour = scenario.find("colour") != std::string::npos;
    const std::string path = folder + (colour                  ? "/colour.tif"
                                       : scenario == "end-600" ? "/g4-600.tif"
                                                               : "/g4.tif");
    auto document = std::make_shared<folio::engine::EngineDocument>();
    document->Open(path);
    folio::viewer::DocumentView view;
    view.resize(900, 700);
    view.show();
    QApplication::processEvents();
    view.resize(view.size() * 2 - view.viewport()->size());  // the viewer area at 900 x 700
    view.Show(document);
    view.SetFitMode(folio::imaging::kFitWidth);
    // The first screen is drawn before the measurement starts.
    LargestGap([] { return false; }, 1, 1500);
    Gaps stall;
    int thumbnails = -1;
    if (scenario == "idle") {
        // Nothing asked of the viewer: the gaps other processes alone make.
        int steps = 0;
        stall = LargestGap([&steps] { return ++steps < 200; }, 30, 0);
    } else if (scenario.rfind("thumbs", 0) == 0) {
        folio::viewer::ThumbnailStrip& strip = view.Thumbnails();
        thumbnails = 0;
        QObject::connect(&strip, &folio::viewer::ThumbnailStrip::ThumbnailRendered,
                         [&thumbnails] { ++thumbnails; });
        bool shown = false;
        QScrollBar* bar = strip.verticalScrollBar();
        stall = LargestGap(
            [&] {
                if (!shown) {
                    Key(view, Qt::Key_F9);
                    shown = true;
                    return true;
                }
                if (strip.Pending() > 0) {
                    return true;  // those in view are still being made
                }
                if (bar->value() >= bar->maximum()) {
                    return false;
                }
                bar->setValue(bar->value() + bar->pageStep());
                return true;
            },
            30, 500);
    } else if (scenario == "rotate-g4") {
        // Rotate (all pages, as the menu does) on the 501-page document.
        bool sent = false;
        stall = LargestGap(
            [&] {
                if (!sent) {
                    for (int page = 0; page < document->PageCount(); ++page) {
                        document->RotatePage(page, 90);
                    }
                    sent = true;
                    return true;
                }
                return false;
            },
            30, 1000);
    } else if (scenario.rfind("end", 0) == 0) {
        bool sent = false;
        stall = LargestGap(
            [&] {
                if (!sent) {
                    Key(view, Qt::Key_End);
                    sent = true;
                    return true;
                }
                return false;
            },
            30, 2000);
    } else {
        QScrollBar* bar = view.verticalScrollBar();
        stall = LargestGap(
            [&] {
                if (bar->value() >= bar->maximum()) {
                    return false;
                }
                Key(view, Qt::Key_PageDown);
                return true;
            },
            30, 500);
    }
    std::printf("%s stall_ms=%.1f busy_ms=%.1f peak_rss_mb=%.0f page=%d", scenario.c_str(),
                stall.wallMs, stall.busyMs, PeakRssMb(), view.PageNum());
    if (thumbnails >= 0) {
        std::printf(" thumbnails=%d", thumbnails);
    }
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: viewer_stall make|end-colour|end-600|page-g4|page-colour|thumbs-g4|"
                     "thumbs-colour|rotate-g4|idle FOLDER\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    try {
        if (std::strcmp(argv[1], "make") == 0) {
            Make(argv[2]);
            return 0;
        }
        QApplication application(argc, argv);
        return Run(argv[1], argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "viewer_stall: %s\n", e.what());
        return 1;
    }
}
