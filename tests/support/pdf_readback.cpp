#include "support/pdf_readback.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>

namespace folio::print::testing {

std::string Capture(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char buffer[4096];
        while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) {
            output.append(buffer, n);
        }
        pclose(pipe);
    }
    return output;
}

PdfFacts ReadPdf(const std::string& path) {
    const std::string info = Capture("pdfinfo '" + path + "'");
    std::smatch match;
    PdfFacts facts;
    if (std::regex_search(info, match, std::regex(R"(Pages:\s+(\d+))"))) {
        facts.pages = std::stoi(match[1]);
    }
    if (std::regex_search(info, match, std::regex(R"(Page size:\s+([\d.]+) x ([\d.]+))"))) {
        facts.width = std::stod(match[1]);
        facts.height = std::stod(match[2]);
    }
    EXPECT_GT(facts.pages, 0) << path << ": " << info;
    return facts;
}

QImage RenderPdfPage(const std::string& pdf, int page, int dpi, const std::string& prefix) {
    const std::string number = std::to_string(page);
    Capture("pdftoppm -r " + std::to_string(dpi) + " -gray -singlefile -f " + number + " -l " +
            number + " '" + pdf + "' '" + prefix + "'");
    return QImage(QString::fromStdString(prefix + ".pgm"));
}

Sheet RenderBack(const std::string& pdf, const std::string& prefix) {
    const QImage back = RenderPdfPage(pdf, 1, 20, prefix);
    EXPECT_FALSE(back.isNull()) << "pdftoppm gave no page";
    QRect ink;
    for (int y = 0; y < back.height(); ++y) {
        for (int x = 0; x < back.width(); ++x) {
            if (qGray(back.pixel(x, y)) < 64) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return {back.size(), ink};
}

}  // namespace folio::print::testing
