// The imaging contract on top of the engine: page collection, turning, the codes
// SaveAs accepts, printing, closing, file names, the factory; the page cache's
// budget; and the document read on several threads while it is opened and closed.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "common/error.h"
#include "common/error_numbers.h"
#include "common/utf8.h"
#include "engine/contract/contract_document.h"
#include "engine/document/engine_document.h"
#include "engine/tiff/tiff_io.h"
#include "support/foreign_document.h"
#include "support/open_page.h"

namespace folio::engine {
namespace {

int32_t ErrorNumber(const std::function<void()>& call, std::string* message = nullptr) {
    try {
        call();
    } catch (const Error& e) {
        if (message) {
            *message = e.Description();
        }
        return e.Number();
    }
    return 0;
}

class DocumentTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string path = dir_.File("pages.tif");
        testing::WriteTiffFile(
            path, {testing::GrayPage(20, 10, 8),
                   testing::BilevelPage(30, 12, COMPRESSION_CCITTFAX4), testing::RgbPage(8, 8, 8)});
        document_ = factory_.NewDocument();
        document_->Create(FromUtf8(path));
        engine_ = factory_.EngineOf(*document_);
        ASSERT_NE(engine_, nullptr);
    }

    testing::TempDir dir_;
    ContractDocumentFactory factory_;
    std::shared_ptr<imaging::Document> document_;
    std::shared_ptr<EngineDocument> engine_;
};

TEST_F(DocumentTest, ImagesCountsPagesAndItemRefusesIndexesOutsideThem) {
    auto images = document_->Images();
    EXPECT_EQ(images->Count(), 3);
    EXPECT_NE(images->Item(0), nullptr);
    EXPECT_NE(images->Item(2), nullptr);
    EXPECT_EQ(ErrorNumber([&] { images->Item(3); }), errors::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumber([&] { images->Item(-1); }), errors::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumber([&] { engine_->Info(3); }), errors::kSubscriptOutOfRange);
}

TEST_F(DocumentTest, RotateKeepsQuarterTurnsPerPageAndTellsTheListener) {
    std::vector<int> changed;
    engine_->SetChangeListener([&](int page) { changed.push_back(page); });
    auto images = document_->Images();
    images->Item(1)->Rotate(90);
    images->Item(1)->Rotate(90);
    images->Item(2)->Rotate(-90);
    EXPECT_EQ(engine_->QuarterTurns(0), 0);
    EXPECT_EQ(engine_->QuarterTurns(1), 2);
    EXPECT_EQ(engine_->QuarterTurns(2), 3);
    EXPECT_EQ(changed, (std::vector<int>{1, 1, 2}));
    images->Item(2)->Rotate(720);  // a full turn changes nothing
    EXPECT_EQ(engine_->QuarterTurns(2), 3);
    EXPECT_EQ(changed.size(), 3u);
}

TEST_F(DocumentTest, AnglesThatAreNotQuarterTurnsAreRefusedAndChangeNothing) {
    int calls = 0;
    engine_->SetChangeListener([&](int) { ++calls; });
    auto image = document_->Images()->Item(0);
    image->Rotate(90);
    for (const int32_t angle : {45, 1, -30, 100, 89}) {
        std::string message;
        EXPECT_EQ(ErrorNumber([&] { image->Rotate(angle); }, &message),
                  errors::kInvalidProcedureCall);
        EXPECT_NE(message.find(std::to_string(angle)), std::string::npos) << message;
        EXPECT_EQ(engine_->QuarterTurns(0), 1);
    }
    EXPECT_EQ(calls, 1);
}

TEST_F(DocumentTest, SaveAsRefusesUnknownCodesAndWritesNothing) {
    const std::string target = dir_.File("out.tiff");
    std::string message;
    EXPECT_EQ(ErrorNumber([&] { document_->SaveAs(FromUtf8(target), 2, 1); }, &message),
              errors::kInvalidProcedureCall);
    EXPECT_NE(message.find("format code 2"), std::string::npos) << message;
    EXPECT_EQ(ErrorNumber([&] { document_->SaveAs(FromUtf8(target), 1, 7); }, &message),
              errors::kInvalidProcedureCall);
    EXPECT_NE(message.find("compression code 7"), std::string::npos) << message;
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(DocumentTest, PrintingWithoutAPrintBackendIsNotAvailable) {
    std::string message;
    EXPECT_EQ(ErrorNumber([&] { document_->PrintOut(0, -1, 1, u"pdf", u"", true, 1); }, &message),
              errors::kNotImplemented);
    EXPECT_EQ(message, "Printing is not available in this program");
}

TEST_F(DocumentTest, CloseLetsGoOfTheFileAndImagesStopWorking) {
    auto images = document_->Images();
    auto image = images->Item(0);
    EXPECT_NE(ErrorNumber([&] { document_->Close(true); }), 0);
    EXPECT_TRUE(engine_->IsOpen()) << "a refused close must leave the document open";
    document_->Close(false);
    EXPECT_FALSE(engine_->IsOpen());
    EXPECT_EQ(engine_->PageCount(), 0);
    EXPECT_EQ(ErrorNumber([&] { document_->Images(); }), errors::kObjectNotSet);
    EXPECT_EQ(ErrorNumber([&] { images->Count(); }), errors::kObjectNotSet);
    EXPECT_EQ(ErrorNumber([&] { image->Rotate(90); }), errors::kObjectNotSet);
    EXPECT_EQ(ErrorNumber([&] { engine_->Decode(0); }), errors::kObjectNotSet);
    EXPECT_EQ(ErrorNumber([&] { document_->SaveAs(u"x.tiff", 1, 1); }), errors::kObjectNotSet);
    // Objects handed out earlier outlive the document itself safely.
    document_.reset();
    engine_.reset();
    EXPECT_EQ(ErrorNumber([&] { image->Rotate(90); }), errors::kObjectNotSet);
}

// A name's bytes that are not UTF-8 reach the file system unchanged, both ways.
TEST_F(DocumentTest, NamesKeepTheirBytesThatAreNotUtf8) {
    const std::string stray = dir_.File("scan\xff.tiff");
    document_->SaveAs(FromUtf8(stray), 1, 1);
    ASSERT_TRUE(std::filesystem::exists(stray));
    auto copy = factory_.NewDocument();
    copy->Create(FromUtf8(stray));
    EXPECT_EQ(copy->Images()->Count(), 3);
    EXPECT_EQ(factory_.EngineOf(*copy)->FilePath(), stray);
}

// The front end hands in its progress after the documents exist, once per command.
TEST_F(DocumentTest, SaveAsReportsToTheProgressSetOnTheFactoryAndStopsWhenItCancels) {
    std::vector<int> reported;
    factory_.SetProgress([&reported](int done, int total) {
        reported.push_back(done);
        EXPECT_EQ(total, 3);
        return done < 2;
    });
    EXPECT_EQ(ErrorNumber([&] { document_->SaveAs(FromUtf8(dir_.File("out.tiff")), 1, 1); }),
              errors::kCancel);
    EXPECT_EQ(reported, (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("out.tiff")));
    factory_.SetProgress(nullptr);
    document_->SaveAs(FromUtf8(dir_.File("out.tiff")), 1, 1);
    EXPECT_EQ(reported.size(), 3u) << "reported after the progress was taken away";
}

using folio::testing::ForeignDocument;

TEST(DocumentFactoryTest, MakesFreshEmptyDocumentsAndKnowsTheEngineOfItsOwnOnly) {
    ContractDocumentFactory factory(1 << 20);
    auto first = factory.NewDocument();
    auto second = factory.NewDocument();
    EXPECT_NE(first, second);
    const auto engine = factory.EngineOf(*first);
    ASSERT_NE(engine, nullptr);
    EXPECT_NE(engine, factory.EngineOf(*second));
    EXPECT_FALSE(engine->IsOpen());
    EXPECT_EQ(engine->CacheBudget(), size_t{1} << 20);
    EXPECT_EQ(ErrorNumber([&] { first->Images(); }), errors::kObjectNotSet);

    ContractDocumentFactory other;
    EXPECT_EQ(other.EngineOf(*first), nullptr);
    EXPECT_EQ(factory.EngineOf(ForeignDocument()), nullptr);
}

TEST(PageCacheBudgetTest, DecodedBytesStayWithinTheBudgetWhateverThePageCount) {
    testing::TempDir dir;
    // 40 gray pages of 100 x 100 bytes: 400 000 bytes in all; the budget holds 5.
    std::vector<testing::TestPage> pages;
    for (uint32_t i = 0; i < 40; ++i) {
        pages.push_back(testing::GrayPage(100, 100, 8, COMPRESSION_LZW));
    }
    const size_t budget = 5 * 100 * 100 + 100;
    auto document = testing::OpenPages(dir, pages, {}, budget);
    for (int round = 0; round < 2; ++round) {
        for (int page = 0; page < 40; ++page) {
            const auto raster = document->Decode(page);
            EXPECT_EQ(raster->ByteSize(), 100u * 100u);
            EXPECT_LE(document->CacheBytes(), budget);
        }
    }
    EXPECT_EQ(document->CacheBytes(), 5u * 100 * 100);
    // The most recent page is served from the cache, not decoded again.
    EXPECT_EQ(document->Decode(39), document->Decode(39));
    // A page larger than the whole budget is kept alone until the next page.
    auto small = testing::OpenPages(
        dir, {testing::GrayPage(100, 100, 8), testing::GrayPage(10, 10, 8)}, {}, 1000);
    const auto big = small->Decode(0);
    EXPECT_EQ(small->CacheBytes(), 10000u);
    EXPECT_EQ(small->Decode(0), big);
    small->Decode(1);
    EXPECT_EQ(small->CacheBytes(), 100u);
}

TEST(PageCacheBudgetTest, BilevelPagesAreHeldAtOneBitPerPixel) {
    testing::TempDir dir;
    auto document =
        testing::OpenPages(dir, {testing::BilevelPage(2480, 3508, COMPRESSION_CCITTFAX4)});
    document->Decode(0);
    EXPECT_EQ(document->CacheBytes(), size_t{2480 / 8} * 3508);
}

// Readers on worker threads (the render queue, a writer) while the owning thread
// opens and closes: every answer is one of an open or a closed document's, and the
// thread sanitizer sees every read of the document's state under its lock.
TEST(DocumentThreadsTest, ReadsWhileTheDocumentIsOpenedAndClosed) {
    testing::TempDir dir;
    const std::string path = dir.File("pages.tif");
    testing::WriteTiffFile(path, {testing::GrayPage(16, 16, 8), testing::GrayPage(8, 8, 8)});
    EngineDocument document;
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r) {
        readers.emplace_back([&] {
            while (!stop) {
                const std::filesystem::path file = document.FilePath();
                EXPECT_TRUE(file.empty() || file == path) << file;
                try {
                    EXPECT_EQ(document.DisplayName(), path);
                    EXPECT_EQ(document.FormatName(), "TIFF");
                    EXPECT_EQ(document.Info(1).width, 8u);
                    EXPECT_EQ(document.Decode(0)->width, 16u);
                    document.OpenFile();
                    ++answered;
                } catch (const Error& e) {
                    // Closed meanwhile: said so, nothing else.
                    EXPECT_EQ(e.Number(), errors::kObjectNotSet) << e.what();
                }
            }
        });
    }
    for (int round = 0; round < 200 || (answered < 20 && round < 100000); ++round) {
        document.Open(path);
        document.RotatePage(1, 90);
        std::this_thread::yield();
        document.Close();
    }
    stop = true;
    for (auto& reader : readers) {
        reader.join();
    }
    EXPECT_GE(answered, 20) << "the readers never saw the document open";
}

}  // namespace
}  // namespace folio::engine
