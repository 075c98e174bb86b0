// PrintOut's checks and page placement, with a backend that only records jobs.
#include <gtest/gtest.h>

#include <optional>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/contract/contract_document.h"
#include "engine/document/engine_document.h"
#include "engine/print/print_job.h"
#include "support/open_page.h"
#include "support/raw_tiff_builder.h"

namespace folio::engine {
namespace {

using testing::RawTiffBuilder;

struct RecordedJob {
    std::string printer;
    int copies = 0;
    std::vector<int> heights;  // each page's height as placed on a 1000 x 1000 area
};

class RecordingBackend : public PrintBackend {
  public:
    std::vector<std::string> names{"Office", "PDF-Queue"};
    std::optional<RecordedJob> job;

    std::vector<std::string> PrinterNames() const override { return names; }
    void Print(const PrintJob& printed) override {
        job = RecordedJob{printed.Printer(), printed.Copies(), {}};
        for (int i = 0; i < printed.PageCount(); ++i) {
            job->heights.push_back(printed.Placement(i, PrintArea{1000, 1000, 100, 100}).height);
        }
    }
};

// A page in a compression the engine cannot decode, a page whose data is cut
// short, then three pages told apart by their width (10, 20, 30 pixels; 10 high).
std::vector<uint8_t> MixedDocument() {
    RawTiffBuilder file;
    file.AddSimplePage(16, 16, 1, 34719, std::vector<uint8_t>(32, 0));
    file.AddSimplePage(64, 64, 8, 1, std::vector<uint8_t>(100, 0));
    for (uint32_t width : {10u, 20u, 30u}) {
        file.AddSimplePage(width, 10, 8, 1, std::vector<uint8_t>(width * 10, 0x80));
    }
    return file.Bytes();
}

// The contract's document on `bytes`, printing through `backend`; it outlives the
// factory that made it.
std::shared_ptr<imaging::Document> Printable(std::shared_ptr<PrintBackend> backend,
                                             std::vector<uint8_t> bytes, const std::string& name) {
    ContractDocumentFactory factory;
    factory.SetPrintBackend(std::move(backend));
    auto document = factory.NewDocument();
    factory.EngineOf(*document)->OpenBytes(std::move(bytes), name);
    return document;
}

struct Request {
    const char* name;
    int from;
    int to;
    int copies;
    const char16_t* printer;
    int fitMode;
    int32_t error;             // 0: prints
    const char* message;       // part of the error's text, or the printer printed on
    std::vector<int> heights;  // pages printed, told apart by their height as placed
};

class PrintOutTest : public ::testing::TestWithParam<Request> {};

TEST_P(PrintOutTest, ChecksEverythingBeforeSendingAndPrintsTheRange) {
    const Request& r = GetParam();
    auto backend = std::make_shared<RecordingBackend>();
    auto document = Printable(backend, MixedDocument(), "mixed.mdi");
    try {
        document->PrintOut(r.from, r.to, r.copies, r.printer, u"", true, r.fitMode);
        ASSERT_EQ(r.error, 0) << "printed although it should have failed";
        ASSERT_TRUE(backend->job.has_value());
        EXPECT_EQ(backend->job->printer, r.message);
        EXPECT_EQ(backend->job->copies, r.copies);
        EXPECT_EQ(backend->job->heights, r.heights);
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), r.error) << e.what();
        EXPECT_NE(e.Description().find(r.message), std::string::npos) << e.what();
        EXPECT_FALSE(backend->job.has_value()) << "a refused job reached the printer";
    }
}

// Pages 3 to 5 fit the 1000 x 1000 area's width: 1000, 500 and 333 pixels high.
INSTANTIATE_TEST_SUITE_P(
    Requests, PrintOutTest,
    ::testing::Values(
        Request{"ToTheLastPage", 2, -1, 1, u"Office", 1, 0, "Office", {1000, 500, 333}},
        Request{
            "RangePastTheEndStopsAtTheLastPage", 3, 99, 2, u"Office", 1, 0, "Office", {500, 333}},
        Request{"PrinterNameInAnotherCase", 4, 4, 3, u"pdf-queue", 1, 0, "PDF-Queue", {333}},
        Request{"FromAfterTheLastPage",
                5,
                -1,
                1,
                u"Office",
                1,
                errors::kSubscriptOutOfRange,
                "cannot print from page 6; the document has 5 pages",
                {}},
        Request{"FromBeforeTheFirstPage",
                -1,
                2,
                1,
                u"Office",
                1,
                errors::kSubscriptOutOfRange,
                "from page 0",
                {}},
        Request{"EndsBeforeItStarts",
                4,
                2,
                1,
                u"Office",
                1,
                errors::kSubscriptOutOfRange,
                "ends at page 3, before its first page 5",
                {}},
        Request{"NoCopies",
                2,
                2,
                0,
                u"Office",
                1,
                errors::kInvalidProcedureCall,
                "Cannot print 0 copies",
                {}},
        Request{"ImpossibleFitCode",
                2,
                2,
                1,
                u"Office",
                2,
                errors::kInvalidProcedureCall,
                "Unknown fit code 2",
                {}},
        Request{"UnknownPrinter",
                2,
                2,
                1,
                u"Offic",
                1,
                errors::kPrinterError,
                "The printer \"Offic\" is not known",
                {}},
        Request{"UndecodablePage",
                0,
                -1,
                1,
                u"Office",
                1,
                errors::kUnsupportedCompression,
                "mixed.mdi, page 1: its compression (MDI compression 34719) cannot be decoded",
                {}},
        Request{"DamagedPage", 1, 4, 1, u"Office", 1, errors::kDamagedFile, "page 2", {}}),
    [](const auto& info) { return info.param.name; });

// The pages before a break in the page chain print; a range reaching the break
// fails there with its reason, and nothing is printed.
TEST(PrintOutOfABrokenChain, PrintsThePagesBeforeTheBreakAndFailsAtIt) {
    RawTiffBuilder file;
    for (uint32_t width : {10u, 20u}) {
        file.AddSimplePage(width, 10, 8, 1, std::vector<uint8_t>(width * 10, 0x80));
    }
    file.SetNext(1, file.IfdOffset(0));
    auto backend = std::make_shared<RecordingBackend>();
    auto document = Printable(backend, file.Bytes(), "loop.mdi");
    document->PrintOut(0, 1, 1, u"Office", u"", true, 1);
    ASSERT_TRUE(backend->job.has_value());
    EXPECT_EQ(backend->job->heights, (std::vector<int>{1000, 500}));
    backend->job.reset();
    try {
        document->PrintOut(0, -1, 1, u"Office", u"", true, 1);
        FAIL() << "printed past the break";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errors::kDamagedFile);
        EXPECT_EQ(e.Description(),
                  "loop.mdi, page 3: the rest of the document cannot be read: the page chain "
                  "loops back after page 2; nothing was printed");
    }
    EXPECT_FALSE(backend->job.has_value());
}

TEST(PrintOutWithoutPrinters, SaysThatNoPrinterCanBeReached) {
    auto backend = std::make_shared<RecordingBackend>();
    backend->names.clear();
    auto document = Printable(backend, MixedDocument(), "mixed.mdi");
    try {
        document->PrintOut(2, 2, 1, u"Office", u"", true, 1);
        FAIL() << "printed without a printer";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), errors::kPrinterError);
        EXPECT_NE(e.Description().find("No printer can be reached"), std::string::npos) << e.what();
    }
}

struct Fit {
    const char* name;
    testing::TestPage page;
    int quarterTurns;
    PixelRect expected;  // on a 1000 x 800 area at 100 dpi
};

class PlacementTest : public ::testing::TestWithParam<Fit> {};

TEST_P(PlacementTest, FitsThePageAsTurnedWithItsAspectKeptAndCentres) {
    const Fit& fit = GetParam();
    testing::TempDir dir;
    auto document = testing::OpenPages(dir, {fit.page});
    document->RotatePage(0, fit.quarterTurns * 90);
    const PrintJob job(*document, "Office", 1, {0});
    const PixelRect placed = job.Placement(0, PrintArea{1000, 800, 100, 100});
    EXPECT_EQ(placed.x, fit.expected.x);
    EXPECT_EQ(placed.y, fit.expected.y);
    EXPECT_EQ(placed.width, fit.expected.width);
    EXPECT_EQ(placed.height, fit.expected.height);
}

testing::TestPage Page(uint32_t width, uint32_t height, double xDpi, double yDpi) {
    testing::TestPage page = testing::GrayPage(width, height, 8);
    page.xResolution = xDpi;
    page.yResolution = yDpi;
    return page;
}

// Letter paper upright is 8.5 x 11 inches: on a wide area its height decides.
INSTANTIATE_TEST_SUITE_P(
    Pages, PlacementTest,
    ::testing::Values(
        Fit{"Upright", Page(850, 1100, 100, 100), 0, {191, 0, 618, 800}},
        Fit{"TurnedLandscape", Page(850, 1100, 100, 100), 1, {0, 13, 1000, 773}},
        Fit{"FaxResolutionKeepsTheSheetsShape", Page(1700, 1100, 200, 100), 0, {191, 0, 618, 800}},
        Fit{"SmallPageIsEnlarged", Page(50, 50, 300, 300), 2, {100, 0, 800, 800}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace folio::engine
