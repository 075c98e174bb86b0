// Printing through Qt on a private CUPS server with a PDF queue: what comes out is
// read back with poppler's tools.
#include <gtest/gtest.h>

#include <QImage>
#include <QPageSize>
#include <QPrinter>
#include <fstream>
#include <memory>

#include "common/error.h"
#include "common/error_numbers.h"
#include "common/utf8.h"
#include "engine/contract/contract_document.h"
#include "engine/print/qt_print_backend.h"
#include "support/pdf_readback.h"
#include "support/private_cups.h"
#include "support/raw_tiff_builder.h"
#include "support/temp_dir.h"
#include "support/test_document.h"

namespace folio::print {
namespace {

using testing::PrivateCups;

using testing::Capture;
using testing::PdfFacts;
using testing::ReadPdf;
using testing::RenderBack;

class CupsPrintTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const std::string missing = PrivateCups::MissingParts(); !missing.empty()) {
            GTEST_SKIP() << "No private CUPS server can run here: " << missing
                         << "(scripts/setup.sh installs them)";
        }
        cups_ = std::make_unique<PrivateCups>();
        output_ = cups_->AddPdfQueue(kQueue);
    }

    // A document from `path` that prints through Qt, with the setup the dialog chose.
    std::shared_ptr<imaging::Document> Open(const std::string& path, PrinterSetup setup = {}) {
        factory_.SetPrintBackend(std::make_shared<QtPrintBackend>([setup](const QString& device) {
            EXPECT_EQ(device.toStdString(), kQueue);
            return setup;
        }));
        auto document = factory_.NewDocument();
        document->Create(FromUtf8(path));
        return document;
    }

    // Prints and waits for the queue's PDF.
    PdfFacts Print(imaging::Document& document, int from, int to, int copies) {
        document.PrintOut(from, to, copies, u"folio-pdf", u"", true, 1);
        cups_->WaitForJobs();
        return ReadPdf(output_);
    }

    static constexpr const char* kQueue = "folio-pdf";
    static std::string Sample() { return FOLIO_SOURCE_TREE "/samples/sample.mdi"; }

    engine::ContractDocumentFactory factory_;
    std::unique_ptr<PrivateCups> cups_;
    std::string output_;
};

TEST_F(CupsPrintTest, PrintsAllPagesARangeAndCopiesInPortrait) {
    auto document = Open(Sample(), PrinterSetup{1, 1, {}});
    const PdfFacts all = Print(*document, 0, -1, 1);
    EXPECT_EQ(all.pages, 3) << cups_->Log();
    EXPECT_LT(all.width, all.height) << "portrait paper expected";
    EXPECT_EQ(Print(*document, 1, 2, 1).pages, 2) << cups_->Log();
    EXPECT_EQ(Print(*document, 0, 5, 2).pages, 6) << cups_->Log();
}

// A black page twice as wide as high fills the sheet's width. Landscape sheets
// leave a queue for portrait paper turned a quarter, so on it the page is tall.
TEST_F(CupsPrintTest, LandscapeChosenTurnsTheSheet) {
    engine::testing::TempDir dir;
    const std::string path = dir.File("wide.tif");
    engine::testing::TestPage wide = engine::testing::GrayPage(400, 200, 8);
    wide.xResolution = wide.yResolution = 100;
    wide.pixels.assign(wide.pixels.size(), 0);
    engine::testing::WriteTiffFile(path, {wide});
    for (const auto& [orientation, tall] : {std::pair{1, false}, std::pair{2, true}}) {
        auto document = Open(path, PrinterSetup{orientation, 0, {}});
        const PdfFacts printed = Print(*document, 0, 0, 1);
        EXPECT_LT(printed.width, printed.height) << "the queue's paper is portrait";
        const QRect ink = RenderBack(output_, dir.File("back")).ink;
        EXPECT_EQ(ink.height() > ink.width(), tall)
            << "orientation " << orientation << ": ink " << ink.width() << " x " << ink.height();
    }
}

// A tall page with a black square at its top left, turned a quarter clockwise,
// is wide on the paper with the square at its top right.
TEST_F(CupsPrintTest, ATurnedPagePrintsTurned) {
    engine::testing::TempDir dir;
    const std::string path = dir.File("square.tif");
    engine::testing::WriteTiffFile(path, {viewer::testing::SquarePage(200, 400, 100, 0, 0, 100)});
    auto document = Open(path);
    factory_.EngineOf(*document)->RotatePage(0, 90);
    ASSERT_EQ(Print(*document, 0, 0, 1).pages, 1) << cups_->Log();

    const auto [sheet, ink] = RenderBack(output_, dir.File("back"));
    ASSERT_FALSE(ink.isEmpty()) << "no ink on the printed page";
    EXPECT_GT(ink.left(), sheet.width() / 2) << "the square should be on the right";
    EXPECT_LT(ink.bottom(), sheet.height() / 2) << "the square should be at the top";
    EXPECT_NEAR(ink.width(), ink.height(), 2) << "the square keeps its shape";
}

// The dialog's further choices reach the printer: A5 paper, last page first (the
// blank second page comes out before the first, which has a black square).
TEST_F(CupsPrintTest, PaperAndPageOrderChosenAreWhatPrints) {
    engine::testing::TempDir dir;
    const std::string path = dir.File("two.tif");
    engine::testing::TestPage blank = engine::testing::GrayPage(200, 400, 8);
    blank.xResolution = blank.yResolution = 100;
    blank.pixels.assign(blank.pixels.size(), 255);
    engine::testing::WriteTiffFile(path,
                                   {viewer::testing::SquarePage(200, 400, 100, 0, 0, 100), blank});
    for (const bool lastFirst : {false, true}) {
        PrinterSetup setup{1, 0, [lastFirst](QPrinter& printer) {
                               printer.setPageSize(QPageSize(QPageSize::A5));
                               if (lastFirst) {
                                   printer.setPageOrder(QPrinter::LastPageFirst);
                               }
                           }};
        auto document = Open(path, setup);
        const PdfFacts printed = Print(*document, 0, 1, 1);
        ASSERT_EQ(printed.pages, 2) << cups_->Log();
        EXPECT_NEAR(printed.width, 420, 2) << "A5 paper";
        EXPECT_NEAR(printed.height, 595, 2);
        EXPECT_EQ(RenderBack(output_, dir.File("back")).ink.isEmpty(), lastFirst)
            << "the first sheet holds the " << (lastFirst ? "last" : "first") << " page";
    }
}

TEST_F(CupsPrintTest, RefusedRequestsSendNothing) {
    engine::testing::TempDir dir;
    const std::string path = dir.File("undecodable.mdi");
    engine::testing::RawTiffBuilder file;
    file.AddSimplePage(16, 16, 1, 1, std::vector<uint8_t>(32, 0));
    file.AddSimplePage(16, 16, 1, 34719, std::vector<uint8_t>(32, 0));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.Bytes().data()),
               static_cast<std::streamsize>(file.Bytes().size()));
    auto document = Open(path);
    const struct {
        int from, to, copies;
        const char16_t* printer;
        int32_t error;
    } refused[] = {{0, -1, 1, u"no-such-queue", errors::kPrinterError},
                   {0, -1, 0, u"folio-pdf", errors::kInvalidProcedureCall},
                   {2, -1, 1, u"folio-pdf", errors::kSubscriptOutOfRange},
                   {0, 1, 1, u"folio-pdf", errors::kUnsupportedCompression}};
    for (const auto& r : refused) {
        try {
            document->PrintOut(r.from, r.to, r.copies, r.printer, u"", true, 1);
            ADD_FAILURE() << "printed pages " << r.from << " to " << r.to;
        } catch (const Error& e) {
            EXPECT_EQ(e.Number(), r.error) << e.what();
        }
    }
    EXPECT_EQ(cups_->JobCount(), 0) << "a refused request reached the server";
}

// Qt hands the finished job over without looking at the answer.
TEST_F(CupsPrintTest, AJobTheQueueRefusesIsAnError) {
    auto document = Open(Sample());
    cups_->RejectJobs(kQueue);
    try {
        document->PrintOut(0, 0, 1, u"folio-pdf", u"", true, 1);
        FAIL() << "a refused job reported success";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errors::kPrinterError) << e.what();
        EXPECT_NE(e.Description().find("did not accept the job"), std::string::npos) << e.what();
    }
    EXPECT_EQ(cups_->JobCount(), 0);
}

TEST_F(CupsPrintTest, CancellingAfterTheFirstPageWithdrawsTheJob) {
    auto document = Open(Sample());
    std::vector<int> reported;
    factory_.SetProgress([&reported](int done, int total) {
        EXPECT_EQ(total, 3);
        reported.push_back(done);
        return done < 1;
    });
    // Held, so that the partial job is still there to withdraw however fast the
    // server would have printed it.
    cups_->PauseQueue("folio-pdf");
    try {
        document->PrintOut(0, -1, 1, u"folio-pdf", u"", true, 1);
        FAIL() << "a cancelled job reported success";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errors::kCancel) << e.what();
    }
    EXPECT_EQ(reported, (std::vector<int>{0, 1}));
    cups_->ResumeQueue("folio-pdf");
    cups_->WaitForJobs();
    EXPECT_EQ(Capture("pdfinfo '" + output_ + "'").find("Pages:"), std::string::npos)
        << "the withdrawn job was printed";
}

TEST_F(CupsPrintTest, WithNoServerReachablePrintingFails) {
    auto document = Open(Sample());
    cups_->Stop();
    try {
        document->PrintOut(0, -1, 1, u"folio-pdf", u"", true, 1);
        FAIL() << "printing without a server reported success";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errors::kPrinterError) << e.what();
        EXPECT_NE(e.Description().find("No printer can be reached"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace folio::print
