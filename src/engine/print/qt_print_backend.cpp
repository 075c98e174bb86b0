#include "engine/print/qt_print_backend.h"

#include <cups/cups.h>

#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <algorithm>
#include <exception>
#include <utility>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/widget/rendered_qimage.h"

namespace folio::print {
namespace {

// Pixels rendered and handed to the painter at a time: a whole page at a fine
// printer's resolution would need hundreds of megabytes.
constexpr int kBandPixels = 8 << 20;
// Drivers that name only a screen-like resolution (72 dpi) do not know the device's.
constexpr int kLeastPrinterDpi = 300;
// Finer than this, scanned pages gain nothing visible but take many times longer to
// render and send (Qt's PDF output for printers defaults to 1200 dpi).
constexpr int kFinestDpi = 600;

[[noreturn]] void Refused(const std::string& printer, const std::string& what) {
    throw Error(errors::kPrinterError, "The printer \"" + printer + "\" " + what);
}

void ApplySetup(QPrinter& printer, const PrinterSetup& setup) {
    if (setup.orientation == 1 || setup.orientation == 2) {
        printer.setPageOrientation(setup.orientation == 2 ? QPageLayout::Landscape
                                                          : QPageLayout::Portrait);
    }
    switch (setup.duplex) {
        case 1:
            printer.setDuplex(QPrinter::DuplexNone);
            break;
        case 2:
            printer.setDuplex(QPrinter::DuplexLongSide);
            break;
        case 3:
            printer.setDuplex(QPrinter::DuplexShortSide);
            break;
        default:
            break;
    }
}

// A band as the painter takes it; it shares `band`'s pixels (draw it while the band
// lives) except for black-and-white pages: those go as 1-bit images, which the
// printer gets losslessly and sharp instead of as a compressed photograph.
QImage BandImage(const engine::RenderedImage& band, bool bilevel) {
    const QImage view = viewer::ImageView(band);
    if (bilevel && band.format == engine::RenderedImage::Format::Gray8) {
        // Qt's PDF output keeps a 1-bit image as such only when index 0 is black.
        QImage mono = view.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
        if (mono.colorTable().value(0) != qRgb(0, 0, 0)) {
            mono.invertPixels();
            mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        }
        return mono;
    }
    return view;
}

void DrawPage(QPainter& painter, const engine::PrintJob& job, int index,
              const engine::PrintArea& area) {
    const engine::PixelRect placed = job.Placement(index, area);
    const bool bilevel = job.IsBilevel(index);
    const int rowsPerBand = std::max(1, kBandPixels / placed.width);
    for (int top = 0; top < placed.height; top += rowsPerBand) {
        const int rows = std::min(rowsPerBand, placed.height - top);
        const engine::RenderedImage band = job.RenderRows(index, area, top, rows);
        painter.drawImage(QPoint(placed.x, placed.y + top), BandImage(band, bilevel));
    }
}

// Cancels the newest of this user's unfinished jobs on the printer: the one Qt
// has just sent, since Qt does not tell its id.
bool WithdrawNewestJob(const std::string& printer) {
    cups_job_t* jobs = nullptr;
    const int count =
        cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, printer.c_str(), 1, CUPS_WHICHJOBS_ACTIVE);
    int newest = 0;
    for (int i = 0; i < count; ++i) {
        newest = std::max(newest, jobs[i].id);
    }
    cupsFreeJobs(count, jobs);
    return newest > 0 &&
           cupsCancelJob2(CUPS_HTTP_DEFAULT, printer.c_str(), newest, 0) == IPP_STATUS_OK;
}

}  // namespace

QtPrintBackend::QtPrintBackend(PrinterSetupLookup setup) : setup_(std::move(setup)) {}

std::vector<std::string> QtPrintBackend::PrinterNames() const {
    std::vector<std::string> names;
    for (const QString& name : QPrinterInfo::availablePrinterNames()) {
        names.push_back(name.toStdString());
    }
    return names;
}

void QtPrintBackend::Print(const engine::PrintJob& job) {
    const std::string& name = job.Printer();
    const QString device = QString::fromStdString(name);
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(device);
    if (!printer.isValid() || printer.printerName() != device) {
        Refused(name, "is no longer available; nothing was printed");
    }
    // Pages are rendered at the printer's own resolution where its driver names
    // one, up to kFinestDpi.
    const QList<int> resolutions = printer.supportedResolutions();
    const int finest =
        resolutions.isEmpty() ? 0 : *std::max_element(resolutions.begin(), resolutions.end());
    printer.setResolution(finest >= kLeastPrinterDpi ? std::min(finest, kFinestDpi) : kFinestDpi);
    if (setup_) {
        const PrinterSetup setup = setup_(device);
        ApplySetup(printer, setup);
        if (setup.choices) {
            setup.choices(printer);
        }
    }
    printer.setCopyCount(job.Copies());
    printer.setDocName(QString::fromStdString(job.Title()));

    job.ReportProgress(0);
    QPainter painter;
    if (!painter.begin(&printer)) {
        Refused(name, "could not start the job; nothing was printed");
    }
    const QRect paintRect = printer.pageLayout().paintRectPixels(printer.resolution());
    const engine::PrintArea area{paintRect.width(), paintRect.height(),
                                 static_cast<double>(printer.resolution()),
                                 static_cast<double>(printer.resolution())};
    // CUPS is not told the page order: the pages go out in the order chosen.
    const bool lastFirst = printer.pageOrder() == QPrinter::LastPageFirst;
    int index = 0;
    try {
        for (; index < job.PageCount(); ++index) {
            if (index > 0 && !printer.newPage()) {
                Refused(name, "could not start a new page");
            }
            DrawPage(painter, job, lastFirst ? job.PageCount() - 1 - index : index, area);
            job.ReportProgress(index + 1);
        }
    } catch (const std::exception& error) {
        // Qt cannot drop a started job: the painter sends what it has, which is
        // then taken back from the queue.
        painter.end();
        const bool withdrawn = WithdrawNewestJob(name);
        const auto* failure = dynamic_cast<const Error*>(&error);
        if (failure != nullptr && failure->Number() == errors::kCancel && withdrawn) {
            throw;
        }
        Refused(name, "stopped at page " + std::to_string(index + 1) + " of the job (" +
                          error.what() + "); " +
                          (withdrawn ? "the job was withdrawn"
                                     : "the pages before it may have been printed"));
    }
    if (!painter.end()) {
        Refused(name, "did not accept the job");
    }
    // Qt hands the finished job to CUPS without looking at the answer; the last
    // request's status on this thread is that answer.
    if (cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE) {
        Refused(name, std::string("did not accept the job: ") + cupsLastErrorString());
    }
}

}  // namespace folio::print
