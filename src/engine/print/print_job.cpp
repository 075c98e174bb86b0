// Print jobs: the checked request, each page placed on the sheet and rendered in
// bands, and the backend that sends them to a printer.

#include "engine/print/print_job.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/document/page_source.h"
#include "engine/tiff/located_error.h"
#include "imaging/document.h"

namespace folio::engine {
namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// Lower-cases ASCII letters only: CUPS queue names are ASCII and compare without case.
std::string Folded(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

// The printer the system knows by `wanted`: the exact name first, else the only
// one that differs from it in case alone.
std::string FindPrinter(const std::vector<std::string>& names, const std::string& wanted) {
    if (names.empty()) {
        throw Error(errors::kPrinterError,
                    "No printer can be reached: the printing system (CUPS) is not running or "
                    "knows no printer; nothing was printed");
    }
    if (std::find(names.begin(), names.end(), wanted) != names.end()) {
        return wanted;
    }
    const std::string folded = Folded(wanted);
    std::vector<std::string> matches;
    std::copy_if(names.begin(), names.end(), std::back_inserter(matches),
                 [&folded](const std::string& name) { return Folded(name) == folded; });
    if (matches.size() == 1 && !wanted.empty()) {
        return matches.front();
    }
    throw Error(errors::kPrinterError,
                wanted.empty() ? std::string("No printer was named; nothing was printed")
                               : "The printer " + Quoted(wanted) +
                                     " is not known to the printing system; nothing was printed");
}

// The pages to print, 0-based; -1 as the last page means to the end, and a range
// running past the end stops at the last page.
std::vector<int> PageRange(const EngineDocument& document, int from, int to) {
    const int count = document.PageCount();
    const std::string name = document.DisplayName();
    if (from < 0 || from >= count) {
        throw Error(errors::kSubscriptOutOfRange,
                    name + ": cannot print from page " + std::to_string(from + 1) +
                        "; the document has " + std::to_string(count) +
                        (count == 1 ? " page" : " pages"));
    }
    const int last = (to == -1 || to >= count) ? count - 1 : to;
    if (last < from) {
        throw Error(errors::kSubscriptOutOfRange,
                    name + ": the page range ends at page " + std::to_string(to + 1) +
                        ", before its first page " + std::to_string(from + 1));
    }
    std::vector<int> pages;
    for (int page = from; page <= last; ++page) {
        pages.push_back(page);
    }
    return pages;
}

}  // namespace

PrintJob::PrintJob(const EngineDocument& document, std::string printer, int copies,
                   std::vector<int> pages, Progress progress)
    : document_(document),
      printer_(std::move(printer)),
      copies_(copies),
      pages_(std::move(pages)),
      progress_(std::move(progress)) {}

std::string PrintJob::Title() const {
    const std::string name = document_.DisplayName();
    const size_t slash = name.find_last_of('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

int PrintJob::Page(int index) const {
    return pages_.at(static_cast<size_t>(index));
}

double PrintJob::FitZoom(int page, const PrintArea& area) const {
    if (area.width <= 0 || area.height <= 0) {
        throw Error(errors::kPrinterError, "The printer " + Quoted(printer_) +
                                               " reports no printable area (" +
                                               std::to_string(area.width) + " x " +
                                               std::to_string(area.height) + " pixels)");
    }
    // At zoom 1 the page shows at its physical size on the device.
    const DisplaySize natural = document_.ShownSize(page, 1.0, 1.0, area.dpiX, area.dpiY);
    return std::min(area.width / natural.width, area.height / natural.height);
}

PixelRect PrintJob::Placement(int index, const PrintArea& area) const {
    const int page = Page(index);
    const double zoom = FitZoom(page, area);
    const DisplaySize shown = document_.ShownSize(page, zoom, zoom, area.dpiX, area.dpiY);
    const int width = std::clamp(static_cast<int>(std::lround(shown.width)), 1, area.width);
    const int height = std::clamp(static_cast<int>(std::lround(shown.height)), 1, area.height);
    return {(area.width - width) / 2, (area.height - height) / 2, width, height};
}

bool PrintJob::IsBilevel(int index) const {
    return document_.Info(Page(index)).IsBilevel();
}

RenderedImage PrintJob::RenderRows(int index, const PrintArea& area, int top, int rows) const {
    const int page = Page(index);
    const double zoom = FitZoom(page, area);
    const PixelRect placed = Placement(index, area);
    return document_.Render(page, zoom, zoom, area.dpiX, area.dpiY,
                            PixelRect{0, top, placed.width, rows});
}

void PrintJob::ReportProgress(int done) const {
    engine::ReportProgress(progress_, done, PageCount());
}

void PrintDocument(const EngineDocument& document, PrintBackend* backend,
                   const PrintRequest& request, const Progress& progress) {
    if (backend == nullptr) {
        throw Error(errors::kNotImplemented, "Printing is not available in this program");
    }
    if (request.fitMode != imaging::kPrintFitToPage) {
        throw Error(errors::kInvalidProcedureCall,
                    "Unknown fit code " + std::to_string(request.fitMode) +
                        "; pages can only be printed fitted to the paper (1)");
    }
    if (!request.printToFile.empty()) {
        throw Error(errors::kInvalidProcedureCall, "Printing to a file (" +
                                                       request.printToFile.string() +
                                                       ") is not supported; choose a printer");
    }
    if (request.copies < 1) {
        throw Error(errors::kInvalidProcedureCall, "Cannot print " +
                                                       std::to_string(request.copies) +
                                                       " copies; at least 1 copy is needed");
    }
    std::vector<int> pages = PageRange(document, request.fromPage, request.toPage);
    std::string printer = FindPrinter(backend->PrinterNames(), request.printer);
    // Every page decodes before the job starts: a damaged page found halfway would
    // leave the printer with part of the document.
    for (int page : pages) {
        // The page where the page chain breaks says why in the decoder's error.
        if (!document.Info(page).decodable && document.Info(page).chainBreak.empty()) {
            throw Error(errors::kUnsupportedCompression,
                        PageLocation(document.DisplayName(), page) + ": its compression (" +
                            document.Info(page).compressionName +
                            ") cannot be decoded; nothing was printed");
        }
        try {
            document.Decode(page);
        } catch (const Error& error) {
            throw Error(error.Number(), error.Description() + "; nothing was printed");
        }
    }
    backend->Print(
        PrintJob(document, std::move(printer), request.copies, std::move(pages), progress));
}

}  // namespace folio::engine
