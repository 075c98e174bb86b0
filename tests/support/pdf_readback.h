#pragma once

#include <QImage>
#include <QRect>
#include <string>

namespace folio::print::testing {

// What a command printed on standard output and standard error.
std::string Capture(const std::string& command);

struct PdfFacts {
    int pages = 0;
    double width = 0;  // points, of the first page
    double height = 0;
};

// Page count and first page size from pdfinfo; a failure of the test when the
// file holds no page.
PdfFacts ReadPdf(const std::string& path);

// Page `page` (from 1) of `pdf` rendered in gray by pdftoppm at `dpi`, through
// files named after `prefix`; a null image when it cannot be.
QImage RenderPdfPage(const std::string& pdf, int page, int dpi, const std::string& prefix);

struct Sheet {
    QSize size;
    QRect ink;  // where it has dark pixels
};

// The first printed sheet rendered back at 20 dpi.
Sheet RenderBack(const std::string& pdf, const std::string& prefix);

}  // namespace folio::print::testing
