// Exporting and printing a document while the viewer's render workers are drawing
// its tiles: the output must be what the same document gives with no viewer at all,
// and the view must still finish its pages afterwards.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <QApplication>
#include <QImage>
#include <filesystem>
#include <memory>

#include "common/utf8.h"
#include "engine/contract/contract_document.h"
#include "engine/document/engine_document.h"
#include "engine/print/qt_print_backend.h"
#include "engine/widget/document_view.h"
#include "imaging/document.h"
#include "support/pdf_readback.h"
#include "support/private_cups.h"
#include "support/shown_view.h"
#include "support/temp_dir.h"
#include "support/test_document.h"

namespace folio::print {
namespace {

using engine::EngineDocument;
using engine::testing::TempDir;
using engine::testing::TestPage;
using testing::PrivateCups;

constexpr const char* kQueue = "folio-pdf";

// Pages that take the workers a while: bilevel text, a JPEG colour page, a gray
// page, each large enough for many tiles at the view's zoom.
void WriteBusyDocument(const std::string& path) {
    TestPage colour = engine::testing::RgbPage(1200, 1600, 8, COMPRESSION_JPEG);
    colour.pixels = engine::testing::PatternPixels(colour, 3);
    colour.xResolution = colour.yResolution = 150;
    TestPage gray = viewer::testing::SquarePage(1000, 1400, 150, 200, 300, 250);
    engine::testing::WriteTiffFile(path, {viewer::testing::TextLikePage(1700, 2200, 200, 1), colour,
                                          gray, viewer::testing::TextLikePage(1700, 2200, 200, 2)});
}

// Documents that print on the private queue, as the program makes them.
class Documents {
  public:
    Documents() { factory.SetPrintBackend(std::make_shared<QtPrintBackend>()); }

    // The document of `path`, its first page turned.
    std::shared_ptr<imaging::Document> Open(const std::string& path) {
        auto document = factory.NewDocument();
        document->Create(FromUtf8(path));
        factory.EngineOf(*document)->RotatePage(0, 90);
        return document;
    }

    engine::ContractDocumentFactory factory;
};

// A view drawing `document` at twice its size, its workers busy with tiles of
// the first pages and then of the last.
class BusyView {
  public:
    BusyView(Documents& documents, std::shared_ptr<imaging::Document> document) {
        view_.resize(500, 500);
        view_.show();
        view_.SetEngineLookup([&documents](const imaging::Document& shown) {
            return documents.factory.EngineOf(shown);
        });
        view_.SetDocument(std::move(document));
        double two = 2.0;
        double alsoTwo = 2.0;
        view_.SetZoom(two, alsoTwo);
        view_.viewport()->grab();
        view_.SetPageNum(4);
        view_.viewport()->grab();
    }

    size_t Requested() const { return view_.RequestedTiles(); }

    // Lets the workers finish; the view must then hold every tile it shows.
    void ExpectItFinishes() {
        viewer::testing::Settle(view_);
        EXPECT_EQ(view_.RequestedTiles(), 0u);
        EXPECT_GT(view_.Tiles().count(), 0);
    }

  private:
    viewer::DocumentView view_;
};

// Every page of the document at `path` decoded as exported, pages as turned.
std::vector<engine::RenderedImage> DecodeAll(const std::string& path) {
    EngineDocument document;
    document.Open(path);
    std::vector<engine::RenderedImage> pages;
    for (int page = 0; page < document.PageCount(); ++page) {
        const auto size = document.ScaledSize(page, 1.0);
        pages.push_back(document.RenderAtScale(
            page, 1.0,
            {0, 0, static_cast<int>(size.width + 0.5), static_cast<int>(size.height + 0.5)}));
    }
    return pages;
}

TEST(OutputWhileRendering, AnExportIsTheSameAsWithNoViewer) {
    TempDir dir;
    const std::string path = dir.File("busy.tif");
    WriteBusyDocument(path);
    const std::string quiet = dir.File("quiet.tiff");
    Documents documents;
    documents.Open(path)->SaveAs(FromUtf8(quiet), imaging::kFileFormatTiff,
                                 imaging::kCompressionDefault);

    auto document = documents.Open(path);
    BusyView view(documents, document);
    ASSERT_GT(view.Requested(), 0u) << "the workers have nothing to do";
    const std::string busy = dir.File("busy.tiff");
    document->SaveAs(FromUtf8(busy), imaging::kFileFormatTiff, imaging::kCompressionDefault);
    view.ExpectItFinishes();

    const auto expected = DecodeAll(quiet);
    const auto actual = DecodeAll(busy);
    ASSERT_EQ(actual.size(), 4u);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t page = 0; page < actual.size(); ++page) {
        EXPECT_EQ(actual[page].width, expected[page].width) << "page " << page + 1;
        EXPECT_EQ(actual[page].height, expected[page].height) << "page " << page + 1;
        EXPECT_TRUE(actual[page].pixels == expected[page].pixels) << "page " << page + 1;
    }
    EXPECT_EQ(actual[0].width, 2200) << "the turned page stays turned";
}

TEST(OutputWhileRendering, APrintIsTheSameAsWithNoViewer) {
    if (const std::string missing = PrivateCups::MissingParts(); !missing.empty()) {
        GTEST_SKIP() << "No private CUPS server can run here: " << missing;
    }
    PrivateCups cups;
    const std::string output = cups.AddPdfQueue(kQueue);
    TempDir dir;
    const std::string path = dir.File("busy.tif");
    WriteBusyDocument(path);
    const auto print = [&](imaging::Document& document) {
        document.PrintOut(0, -1, 1, FromUtf8(kQueue), u"", true, 1);
        cups.WaitForJobs();
    };

    Documents documents;
    print(*documents.Open(path));
    const std::string quiet = dir.File("quiet.pdf");
    std::filesystem::copy_file(output, quiet);
    auto document = documents.Open(path);
    BusyView view(documents, document);
    ASSERT_GT(view.Requested(), 0u) << "the workers have nothing to do";
    print(*document);
    view.ExpectItFinishes();

    ASSERT_EQ(testing::ReadPdf(output).pages, 4) << cups.Log();
    for (int page = 1; page <= 4; ++page) {
        const std::string number = std::to_string(page);
        const QImage expected = testing::RenderPdfPage(quiet, page, 30, dir.File("q" + number));
        const QImage actual = testing::RenderPdfPage(output, page, 30, dir.File("b" + number));
        ASSERT_FALSE(expected.isNull()) << "page " << page;
        EXPECT_EQ(actual, expected) << "page " << page;
    }
}

}  // namespace
}  // namespace folio::print
