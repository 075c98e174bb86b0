#pragma once

// Print jobs: the checked request, each page placed on the sheet and rendered in
// bands, and the backend that sends them to a printer.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/document/engine_document.h"
#include "engine/document/progress.h"
#include "engine/image/raster.h"

namespace folio::engine {

// The printable area of one sheet in device pixels, and the device's resolution.
struct PrintArea {
    int width = 0;
    int height = 0;
    double dpiX = 0.0;
    double dpiY = 0.0;
};

// One checked print job as the engine hands it to a print backend: the printer,
// the copies, and the pages in the order they print. Each page is fitted into the
// printable area with its aspect kept, centred, as currently turned, and rendered
// on request at the device's resolution, a band of rows at a time. Progress goes to
// `progress`, in pages.
class PrintJob {
  public:
    PrintJob(const EngineDocument& document, std::string printer, int copies,
             std::vector<int> pages, Progress progress = {});

    // The printer's device name as the printing system spells it.
    const std::string& Printer() const { return printer_; }
    int Copies() const { return copies_; }
    // A name for the job in the printer's queue: the document's file name.
    std::string Title() const;
    // Pages in one copy.
    int PageCount() const { return static_cast<int>(pages_.size()); }

    // Where the job's page `index` lands in `area`, in device pixels.
    PixelRect Placement(int index, const PrintArea& area) const;
    // Whether the page is black and white only (its rows come back as gray).
    bool IsBilevel(int index) const;
    // Rows [top, top + rows) of the placed page, `Placement(...).width` wide.
    RenderedImage RenderRows(int index, const PrintArea& area, int top, int rows) const;
    // Tells whoever watches the progress that `done` pages are printed (0 at the
    // start); raises the cancel error when they ask to stop.
    void ReportProgress(int done) const;

  private:
    int Page(int index) const;
    // The zoom that fits the page into the area, with the device's resolution.
    double FitZoom(int page, const PrintArea& area) const;

    const EngineDocument& document_;
    std::string printer_;
    int copies_;
    std::vector<int> pages_;
    Progress progress_;
};

// Sends print jobs to real printers. The engine knows nothing of the printing
// system; the front end gives it one of these.
class PrintBackend {
  public:
    virtual ~PrintBackend() = default;

    // Device names of the printers the system knows; empty when none can be reached.
    virtual std::vector<std::string> PrinterNames() const = 0;
    // Prints every page of the job; raises folio::Error naming the printer unless
    // the printing system accepted the job.
    virtual void Print(const PrintJob& job) = 0;
};

// What the imaging contract's PrintOut asks for, as the engine checks it.
struct PrintRequest {
    int fromPage = 0;
    int toPage = -1;
    int copies = 1;
    std::string printer;
    std::filesystem::path printToFile;
    int fitMode = 1;
};

// Checks the request against the document and the backend's printers (the range,
// the copies, the fit code, the printer, and that every page in the range decodes)
// and then prints it. Every check raises folio::Error naming what was wrong before
// anything reaches the printer. Without a backend, printing is not available.
// The job reports its progress to `progress`, which may cancel it.
void PrintDocument(const EngineDocument& document, PrintBackend* backend,
                   const PrintRequest& request, const Progress& progress = {});

}  // namespace folio::engine
