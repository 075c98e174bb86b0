// The imaging contract on top of the engine: page collection, turning, the codes
// SaveAs accepts, printing, closing, and the page cache's budget.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <filesystem>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/document/engine_document.h"
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
        document_ = testing::OpenPages(
            dir_, {testing::GrayPage(20, 10, 8),
                   testing::BilevelPage(30, 12, COMPRESSION_CCITTFAX4), testing::RgbPage(8, 8, 8)});
    }

    testing::TempDir dir_;
    std::unique_ptr<EngineDocument> document_;
};

TEST_F(DocumentTest, ImagesCountsPagesAndItemRefusesIndexesOutsideThem) {
    auto images = document_->Images();
    EXPECT_EQ(images->Count(), 3);
    EXPECT_NE(images->Item(0), nullptr);
    EXPECT_NE(images->Item(2), nullptr);
    EXPECT_EQ(ErrorNumber([&] { images->Item(3); }), errors::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumber([&] { images->Item(-1); }), errors::kSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumber([&] { document_->Info(3); }), errors::kSubscriptOutOfRange);
}

TEST_F(DocumentTest, RotateKeepsQuarterTurnsPerPageAndTellsTheListener) {
    std::vector<int> changed;
    document_->SetChangeListener([&](int page) { changed.push_back(page); });
    auto images = document_->Images();
    images->Item(1)->Rotate(90);
    images->Item(1)->Rotate(90);
    images->Item(2)->Rotate(-90);
    EXPECT_EQ(document_->QuarterTurns(0), 0);
    EXPECT_EQ(document_->QuarterTurns(1), 2);
    EXPECT_EQ(document_->QuarterTurns(2), 3);
    EXPECT_EQ(changed, (std::vector<int>{1, 1, 2}));
    images->Item(2)->Rotate(720);  // a full turn changes nothing
    EXPECT_EQ(document_->QuarterTurns(2), 3);
    EXPECT_EQ(changed.size(), 3u);
}

TEST_F(DocumentTest, AnglesThatAreNotQuarterTurnsAreRefusedAndChangeNothing) {
    int calls = 0;
    document_->SetChangeListener([&](int) { ++calls; });
    auto image = document_->Images()->Item(0);
    image->Rotate(90);
    for (const int32_t angle : {45, 1, -30, 100, 89}) {
        std::string message;
        EXPECT_EQ(ErrorNumber([&] { image->Rotate(angle); }, &message),
                  errors::kInvalidProcedureCall);
        EXPECT_NE(message.find(std::to_string(angle)), std::string::npos) << message;
        EXPECT_EQ(document_->QuarterTurns(0), 1);
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
    EXPECT_TRUE(document_->IsOpen()) << "a refused close must leave the document open";
    document_->Close(false);
    EXPECT_FALSE(document_->IsOpen());
    EXPECT_EQ(document_->PageCount(), 0);
    EXPECT_EQ(ErrorNumber([&] { document_->Images(); }), errors::kObjectNotSet);
    EXPECT_EQ(ErrorNumber([&] { images->Count(); }), errors::kObjectNotSet);
    EXPECT_EQ(ErrorNumber([&] { image->Rotate(90); }), errors::kObjectNotSet);
    EXPECT_EQ(ErrorNumber([&] { document_->Decode(0); }), errors::kObjectNotSet);
    EXPECT_EQ(ErrorNumber([&] { document_->SaveAs(u"x.tiff", 1, 1); }), errors::kObjectNotSet);
    // Objects handed out earlier outlive the document itself safely.
    document_.reset();
    EXPECT_EQ(ErrorNumber([&] { image->Rotate(90); }), errors::kObjectNotSet);
}

TEST(DocumentFactoryTest, MakesFreshEmptyDocuments) {
    EngineDocumentFactory factory(1 << 20);
    auto first = factory.NewDocument();
    auto second = factory.NewDocument();
    EXPECT_NE(first, second);
    auto* engine = dynamic_cast<EngineDocument*>(first.get());
    ASSERT_NE(engine, nullptr);
    EXPECT_FALSE(engine->IsOpen());
    EXPECT_EQ(engine->CacheBudget(), size_t{1} << 20);
    EXPECT_EQ(ErrorNumber([&] { first->Images(); }), errors::kObjectNotSet);
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

}  // namespace
}  // namespace folio::engine
