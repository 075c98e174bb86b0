#include "engine/widget/document_view.h"
#include "engine/widget/page_notice.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <cmath>
#include <limits>

#include "common/error.h"
#include "common/error_numbers.h"
#include "common/utf8.h"
#include "engine/contract/contract_document.h"
#include "engine/write/tiff_writer.h"
#include "support/foreign_document.h"
#include "support/raw_tiff_builder.h"
#include "support/shown_view.h"
#include "support/temp_dir.h"
#include "support/test_document.h"

namespace folio::viewer {
namespace {

using engine::EngineDocument;
using engine::testing::TempDir;
using engine::testing::WriteTiffFile;

using testing::OpenDocument;
using testing::Settle;
using testing::ShownView;

class DocumentViewTest : public ::testing::Test {
  protected:
    TempDir dir;

    std::shared_ptr<EngineDocument> SquareDocument(int pages) {
        return testing::SquareDocument(dir, pages);
    }
};

TEST_F(DocumentViewTest, ShowsPagesAtPhysicalSizeWithTheirContent) {
    auto document = SquareDocument(3);
    ShownView shown(document, QSize(500, 400));
    DocumentView& view = shown.view;
    EXPECT_EQ(view.NumPages(), 3);
    EXPECT_EQ(view.PageNum(), 1);
    EXPECT_EQ(view.PageIndicatorText(), QStringLiteral("1 / 3"));
    EXPECT_EQ(view.Shown(), document);

    const engine::DisplaySize size =
        document->ShownSize(0, 1.0, 1.0, view.logicalDpiX(), view.logicalDpiY());
    const QRect page = view.PageRect(0);
    EXPECT_NEAR(page.width(), size.width, 1.0);
    EXPECT_NEAR(page.height(), size.height, 1.0);
    EXPECT_NEAR(page.center().x(), std::max(view.viewport()->width(), page.width() + 24) / 2, 1);
    EXPECT_GT(view.PageRect(1).top(), page.bottom()) << "pages are stacked with a gap";

    const QImage image = shown.Grab();
    const double scale = size.width / 240.0;
    const QPoint square = shown.OnScreen(0, QPointF(120 * scale, 120 * scale));
    const QPoint paper = shown.OnScreen(0, QPointF(20 * scale, 20 * scale));
    EXPECT_LT(qGray(image.pixel(square)), 40) << "the black square is drawn";
    EXPECT_GT(qGray(image.pixel(paper)), 230) << "the page is white";
    const QRgb outside = image.pixel(2, 2);
    EXPECT_LT(qGray(outside), 200) << "the area around the pages is not paper-white";
    EXPECT_GT(view.Tiles().size(), 0);
}

struct ZoomCase {
    const char* name;
    double first;
    double second;
    double reportedFirst;
    double reportedSecond;
};

class ViewZoom : public DocumentViewTest, public ::testing::WithParamInterface<ZoomCase> {};

TEST_P(ViewZoom, KeepsFactorsExactlyOrClampsAndReports) {
    for (const bool withDocument : {false, true}) {
        DocumentView view;
        view.resize(400, 300);
        std::shared_ptr<EngineDocument> document;
        if (withDocument) {
            document = SquareDocument(1);
            view.Show(document);
        }
        double first = GetParam().first;
        double second = GetParam().second;
        view.SetZoom(first, second);
        EXPECT_EQ(first, GetParam().reportedFirst);
        EXPECT_EQ(second, GetParam().reportedSecond);
        double readFirst = 0.0;
        double readSecond = 0.0;
        view.GetZoom(readFirst, readSecond);
        EXPECT_EQ(readFirst, GetParam().reportedFirst);
        EXPECT_EQ(readSecond, GetParam().reportedSecond);
        EXPECT_EQ(view.GetFitMode(), 0);
        if (document) {
            // The page is laid out again at the factors the view reports.
            const engine::DisplaySize size =
                document->ShownSize(0, GetParam().reportedFirst, GetParam().reportedSecond,
                                    view.logicalDpiX(), view.logicalDpiY());
            EXPECT_NEAR(view.PageRect(0).width(), size.width, 1.0);
            EXPECT_NEAR(view.PageRect(0).height(), size.height, 1.0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Factors, ViewZoom,
    ::testing::Values(ZoomCase{"Drifted", 1.0000000000000002, 1.0000000000000002,
                               1.0000000000000002, 1.0000000000000002},
                      ZoomCase{"Stepped", 2.1970000000000005, 0.7692307692307692,
                               2.1970000000000005, 0.7692307692307692},
                      ZoomCase{"TooSmall", 0.001, 1.0, 0.01, 1.0},
                      ZoomCase{"TooLarge", 1.0, 100.0, 1.0, 64.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DocumentViewTest, ImpossibleFactorsRaiseAndChangeNothing) {
    DocumentView view;
    view.Show(SquareDocument(1));
    const double bad[] = {0.0, -1.0, std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN()};
    for (const double value : bad) {
        double first = 1.0;
        double second = value;
        try {
            view.SetZoom(first, second);
            ADD_FAILURE() << "accepted " << value;
        } catch (const Error& e) {
            EXPECT_EQ(e.Number(), errors::kInvalidProcedureCall);
        }
        double a = 0.0;
        double b = 0.0;
        view.GetZoom(a, b);
        EXPECT_EQ(a, 1.0);
        EXPECT_EQ(b, 1.0);
    }
}

class ViewFit : public DocumentViewTest, public ::testing::WithParamInterface<QSize> {};

TEST_P(ViewFit, FitsThePageToTheViewAndReportsTheFactors) {
    auto document = SquareDocument(2);
    ShownView shown(document, GetParam());
    DocumentView& view = shown.view;
    const double dpiX = view.logicalDpiX();
    const double dpiY = view.logicalDpiY();

    view.SetFitMode(imaging::kFitWidth);
    QApplication::processEvents();
    double first = 0.0;
    double second = 0.0;
    view.GetZoom(first, second);
    EXPECT_EQ(first, second);
    EXPECT_EQ(view.GetFitMode(), imaging::kFitWidth);
    EXPECT_NEAR(document->ShownSize(0, first, second, dpiX, dpiY).width + 24,
                view.viewport()->width(), 1.0);

    view.SetFitMode(imaging::kFitHeight);
    QApplication::processEvents();
    view.GetZoom(first, second);
    EXPECT_NEAR(document->ShownSize(0, first, second, dpiX, dpiY).height + 24,
                view.viewport()->height(), 1.0);
    EXPECT_EQ(view.PageNum(), 1);

    // The fit follows the view's size until a zoom is set.
    view.resize(view.size() + QSize(0, 100));
    QApplication::processEvents();
    view.GetZoom(first, second);
    EXPECT_NEAR(document->ShownSize(0, first, second, dpiX, dpiY).height + 24,
                view.viewport()->height(), 1.0);
    double one = 1.0;
    double other = 1.0;
    view.SetZoom(one, other);
    EXPECT_EQ(view.GetFitMode(), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ViewFit,
                         ::testing::Values(QSize(600, 400), QSize(300, 900), QSize(1200, 250)),
                         [](const auto& info) {
                             return std::to_string(info.param.width()) + "x" +
                                    std::to_string(info.param.height());
                         });

TEST_F(DocumentViewTest, SmallerPagesAverageThinLinesToGray) {
    const std::string path = dir.File("striped.tif");
    WriteTiffFile(path, {testing::StripedPage(200, 200, 96.0)});
    auto document = OpenDocument(path);
    ShownView shown(document, QSize(400, 400));
    double half = 0.5;
    double alsoHalf = 0.5;
    shown.view.SetZoom(half, alsoHalf);
    QApplication::processEvents();
    const QImage image = shown.Grab();
    const double scale = shown.view.PageRect(0).width() / 200.0;  // page pixels to screen
    for (const int y : {40, 41, 42, 43, 120}) {
        const int gray = qGray(image.pixel(shown.OnScreen(0, QPointF(100 * scale, y * scale))));
        EXPECT_GT(gray, 64) << "row " << y << " sampled, not averaged";
        EXPECT_LT(gray, 192) << "row " << y << " sampled, not averaged";
    }
}

// A page that cannot be decoded, or the place where the page chain breaks, shows a
// notice saying why; the pages before it still show.
TEST_F(DocumentViewTest, AnUndecodablePageShowsANoticeAndTheOthersStillShow) {
    struct Case {
        const char* name;
        void (*damage)(engine::testing::RawTiffBuilder&);
        int pages;
        const char* says;
    };
    const Case cases[] = {
        {"OwnCompression",
         [](engine::testing::RawTiffBuilder& b) {
             b.AddSimplePage(64, 64, 1, 34719, std::vector<uint8_t>(64, 0x55));
         },
         2, "34719"},
        {"PaletteWithoutColourMap",
         [](engine::testing::RawTiffBuilder& b) {
             b.AddSimplePage(64, 64, 8, 1, std::vector<uint8_t>(64 * 64, 0x80), 3);
         },
         2, "its colours cannot be known"},
        {"ChainLoops",
         [](engine::testing::RawTiffBuilder& b) {
             b.AddSimplePage(64, 64, 8, 1, std::vector<uint8_t>(64 * 64, 0xFF));
             b.SetNext(1, b.IfdOffset(0));
         },
         3, "the rest of the document cannot be read: the page chain loops back after page 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine::testing::RawTiffBuilder builder;
        builder.AddSimplePage(64, 64, 8, 1, std::vector<uint8_t>(64 * 64, 0x00));
        c.damage(builder);
        const std::string path = dir.File("mixed.tif");
        engine::testing::WriteFileBytes(path, builder.Bytes());
        auto document = OpenDocument(path);
        ShownView shown(document, QSize(300, 600));
        const int last = c.pages - 1;
        const QImage image = shown.Grab();
        ASSERT_EQ(shown.view.NumPages(), c.pages);
        EXPECT_TRUE(shown.view.PageNotice(0).isEmpty());
        EXPECT_NE(shown.view.PageNotice(last).indexOf(QString::fromUtf8(c.says)), -1)
            << shown.view.PageNotice(last).toStdString();
        // The notice's red frame runs along the page's edge.
        const QRgb frame = image.pixel(shown.OnScreen(last, QPointF(1, 30)));
        EXPECT_GT(qRed(frame), qGreen(frame) + 60) << "the last page shows the notice";
    }
}

// A page libtiff reads only in part is still drawn, framed, with a badge; its reason
// is in the page's details and the badge's tooltip.
TEST_F(DocumentViewTest, APageReadInSpiteOfDamageIsDrawnWithABadge) {
    using Raw = engine::testing::RawTiffBuilder;
    Raw builder;
    // 200 rows in strips of 50, of which the directory lists only the first: black.
    const uint32_t data = builder.AddData(std::vector<uint8_t>(200 * 200, 0xFF));
    builder.AddIfd({Raw::Long(256, 200), Raw::Long(257, 200), Raw::Short(258, 8),
                    Raw::Short(259, 1), Raw::Short(262, 0), Raw::Long(273, data),
                    Raw::Short(277, 1), Raw::Long(278, 50), Raw::Long(279, 200 * 200)});
    const std::string path = dir.File("damaged.tif");
    engine::testing::WriteFileBytes(path, builder.Bytes());
    ShownView shown(OpenDocument(path), QSize(400, 400));
    const QImage image = shown.Grab();
    DocumentView& view = shown.view;
    EXPECT_TRUE(view.PageNotice(0).isEmpty()) << view.PageNotice(0).toStdString();
    EXPECT_NE(view.PageDamage(0).indexOf(QStringLiteral("StripOffsets")), -1)
        << view.PageDamage(0).toStdString();
    EXPECT_LT(qGray(image.pixel(shown.OnScreen(0, QPointF(40, 25)))), 40) << "the rows read";
    EXPECT_GT(qGray(image.pixel(shown.OnScreen(0, QPointF(40, 150)))), 230) << "the rows lost";
    const QRect badge = view.DamageBadge(0);
    ASSERT_FALSE(badge.isEmpty());
    EXPECT_TRUE(
        view.PageRect(0)
            .translated(-view.horizontalScrollBar()->value(), -view.verticalScrollBar()->value())
            .contains(badge));
    const QRgb mark = image.pixel(badge.topLeft() + QPoint(3, badge.height() / 2));
    EXPECT_GT(qRed(mark), qGreen(mark) + 60) << "the badge";
    const QRgb frame = image.pixel(shown.OnScreen(0, QPointF(1, 150)));
    EXPECT_GT(qRed(frame), qGreen(frame) + 60) << "the frame";
    EXPECT_NE(view.PageDetails().indexOf(QStringLiteral("Page 1 is damaged")), -1)
        << view.PageDetails().toStdString();
    EXPECT_NE(view.PageDetails().indexOf(view.PageDamage(0)), -1);
}

TEST_F(DocumentViewTest, KeysScrollAndTrackTheCurrentPage) {
    ShownView shown(SquareDocument(3), QSize(400, 300));
    DocumentView& view = shown.view;
    QScrollBar* bar = view.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    QTest::keyClick(&view, Qt::Key_PageDown);
    EXPECT_EQ(bar->value(), std::min(bar->maximum(), bar->pageStep()));
    // A page step keeps a strip of the previous screen in view, but not much of it.
    EXPECT_LT(bar->pageStep(), view.viewport()->height());
    EXPECT_GE(bar->pageStep(), view.viewport()->height() * 3 / 4);
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_GT(bar->value(), std::min(bar->maximum() - 1, bar->pageStep()));
    QTest::keyClick(&view, Qt::Key_End);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(view.PageNum(), 3);
    EXPECT_EQ(view.PageIndicatorText(), QStringLiteral("3 / 3"));
    QTest::keyClick(&view, Qt::Key_Home);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(view.PageNum(), 1);
    // Dragging up by 50 pixels moves the pages up with the pointer.
    QTest::mousePress(view.viewport(), Qt::LeftButton, {}, QPoint(200, 200));
    QTest::mouseMove(view.viewport(), QPoint(200, 150));
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, QPoint(200, 150));
    EXPECT_EQ(bar->value(), 50);
    bar->setValue(0);
    view.SetPageNum(2);
    EXPECT_EQ(view.PageNum(), 2);
    EXPECT_THROW(view.SetPageNum(4), Error);
}

TEST_F(DocumentViewTest, ManySmallPagesOnScreen) {
    auto document = SquareDocument(60);
    ShownView shown(document, QSize(400, 600));
    DocumentView& view = shown.view;
    double tiny = 0.1;
    double alsoTiny = 0.1;
    view.SetZoom(tiny, alsoTiny);
    ASSERT_GT(view.verticalScrollBar()->maximum(), 0);
    const auto visible = [&view](int page) {
        const QRect area(
            QPoint(view.horizontalScrollBar()->value(), view.verticalScrollBar()->value()),
            view.viewport()->size());
        return area.intersected(view.PageRect(page - 1)).height();
    };

    // Scrolled to the end, the last page is current although others show as much.
    QTest::keyClick(&view, Qt::Key_End);
    EXPECT_EQ(view.PageNum(), 60);
    EXPECT_EQ(view.PageIndicatorText(), QStringLiteral("60 / 60"));
    // Zooming in from there, and from a page in the middle, stays on the current page.
    for (const int page : {60, 30}) {
        if (page != 60) {
            view.SetPageNum(page);
        }
        double one = 1.0;
        double alsoOne = 1.0;
        view.SetZoom(one, alsoOne);
        EXPECT_EQ(view.PageNum(), page);
        EXPECT_GE(visible(page), view.viewport()->height() / 2) << "page " << page;
        view.SetZoom(tiny, alsoTiny);
        EXPECT_EQ(view.PageNum(), page);
    }
}

// Also run at fractional device scales (see CMakeLists.txt), where rounding bites.
class FitWidthEdge : public DocumentViewTest, public ::testing::WithParamInterface<int> {};

TEST_P(FitWidthEdge, ThePageFitsWithoutAHorizontalScrollBar) {
    const std::string path = dir.File("letter.tif");
    WriteTiffFile(path, {testing::TextLikePage(2550, 3300, 300.0, 1)});
    ShownView shown(OpenDocument(path), QSize(GetParam(), 500));
    shown.view.SetFitMode(imaging::kFitWidth);
    for (int width = GetParam(); width < GetParam() + 12; ++width) {
        shown.view.resize(width, 500);
        QApplication::processEvents();
        EXPECT_EQ(shown.view.horizontalScrollBar()->maximum(), 0) << "at " << width;
        EXPECT_GE(shown.view.PageRect(0).width() + 2 * PageLayout::kMargin,
                  shown.view.viewport()->width() - 1)
            << "the page still fills the width at " << width;
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, FitWidthEdge, ::testing::Values(600, 1300));

TEST_F(DocumentViewTest, ANoticeShowsWhateverTheZoomAndPageSize) {
    engine::testing::RawTiffBuilder builder;
    builder.AddSimplePage(3000, 3000, 8, 1, std::vector<uint8_t>(3000 * 3000, 0x00));
    const std::string path = dir.File("huge.tif");
    engine::testing::WriteFileBytes(path, builder.Bytes());
    auto document = OpenDocument(path);
    document->SetDecodeLimit(size_t{1} << 20);
    ShownView shown(document, QSize(320, 320));
    for (const double zoom : {4.0, 1.0, 0.05}) {
        double x = zoom;
        double y = zoom;
        shown.view.SetZoom(x, y);
        shown.view.verticalScrollBar()->setValue(shown.view.verticalScrollBar()->maximum() / 2);
        const QImage image = shown.Grab();
        const QRect page = QRect(shown.OnScreen(0, QPointF(0, 0)), shown.view.PageRect(0).size())
                               .intersected(image.rect());
        int text = 0;
        int frame = 0;
        for (int y = page.top(); y <= page.bottom(); ++y) {
            for (int x = page.left(); x <= page.right(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                text += qGray(pixel) < 160 && qRed(pixel) < qGreen(pixel) + 30 ? 1 : 0;
                frame += qRed(pixel) > qGreen(pixel) + 60 ? 1 : 0;
            }
        }
        EXPECT_FALSE(shown.view.PageNotice(0).isEmpty()) << "zoom " << zoom;
        EXPECT_GT(text, 40) << "no notice text at zoom " << zoom;
        EXPECT_GT(frame, 40) << "no frame at zoom " << zoom;
    }
}

TEST(NoticeFont, ShrinksUntilTheMessageFits) {
    const QString message = QStringLiteral(
        "Page 1 cannot be shown.\n\nhuge.tif, page 1: the page is too large to decode");
    const QFont base = QApplication::font();
    for (const QSize box : {QSize(600, 400), QSize(160, 120), QSize(60, 60)}) {
        const QFont font = NoticeFont(base, box, message);
        const QRect needed =
            QFontMetrics(font).boundingRect(QRect(QPoint(0, 0), box), kNoticeFlags, message);
        EXPECT_LE(needed.width(), box.width()) << box.width();
        EXPECT_LE(needed.height(), box.height()) << box.width();
        EXPECT_GE(font.pointSizeF(), 4.0);
    }
    EXPECT_EQ(NoticeFont(base, QSize(600, 400), message), base)
        << "a message that fits keeps its size";
}

// Holds the view's render queue while alive, so requests stay queued.
struct HeldQueue {
    DocumentView& view;
    explicit HeldQueue(DocumentView& v) : view(v) {
        view.Queue().WaitIdle();
        view.Queue().Hold(true);
    }
    ~HeldQueue() { view.Queue().Hold(false); }
};

TileKey FirstTile(int page, double zoom) {
    return TileKey{page, 0, zoom, zoom, 1.0, 0, 0};
}

TEST_F(DocumentViewTest, TilesRenderOffThisThreadAndArriveLater) {
    ShownView shown(nullptr, QSize(400, 400));
    DocumentView& view = shown.view;
    {
        HeldQueue held(view);
        view.Show(SquareDocument(1));
        const QImage before = shown.GrabNow();
        EXPECT_GT(view.RequestedTiles(), 0u);
        EXPECT_EQ(view.Queue().Queued(), view.RequestedTiles());
        EXPECT_GT(qGray(before.pixel(shown.OnScreen(0, QPointF(120, 120)))), 230)
            << "paper until the tile is ready";
        EXPECT_FALSE(view.Tiles().contains(FirstTile(0, 1.0)));
    }
    const QPoint square = shown.OnScreen(0, QPointF(120, 120));
    const QImage after = shown.Grab();
    EXPECT_LT(qGray(after.pixel(square)), 40) << "the delivered tile is painted";
    EXPECT_TRUE(view.Tiles().contains(FirstTile(0, 1.0)));

    // Zoomed out, the page shows its preview at once, before any new tile is ready.
    double half = 0.5;
    double alsoHalf = 0.5;
    {
        HeldQueue held(view);
        view.SetZoom(half, alsoHalf);
        const QImage preview = shown.GrabNow();
        EXPECT_FALSE(view.Tiles().contains(FirstTile(0, 0.5)));
        EXPECT_LT(qGray(preview.pixel(shown.OnScreen(0, QPointF(60, 60)))), 100);
        EXPECT_GT(qGray(preview.pixel(shown.OnScreen(0, QPointF(20, 20)))), 200);
    }
}

TEST_F(DocumentViewTest, RequestsNoLongerShownAreDroppedBeforeTheyStart) {
    ShownView shown(nullptr, QSize(300, 300));
    DocumentView& view = shown.view;
    {
        HeldQueue held(view);
        view.Show(SquareDocument(4));
        shown.GrabNow();  // asks for page 1's first tile
        ASSERT_GT(view.RequestedTiles(), 0u);
        QTest::keyClick(&view, Qt::Key_End);  // scrolled away to page 4
        shown.GrabNow();
        double two = 2.0;
        double alsoTwo = 2.0;
        view.SetZoom(two, alsoTwo);  // and zoomed: the zoom-1 requests go too
        shown.GrabNow();
        EXPECT_EQ(view.Queue().Queued(), view.RequestedTiles());
    }
    shown.Grab();
    EXPECT_FALSE(view.Tiles().contains(FirstTile(0, 1.0))) << "page 1 was rendered anyway";
    EXPECT_FALSE(view.Tiles().contains(TileKey{3, 0, 1.0, 1.0, 1.0, 0, 0}))
        << "the old zoom was rendered anyway";
    EXPECT_EQ(view.PageNum(), 4);
    EXPECT_GT(view.Tiles().size(), 0);
}

TEST_F(DocumentViewTest, TurningReplacingExportingAndClosingWhileTilesRender) {
    auto document = SquareDocument(2);
    ShownView shown(document, QSize(400, 400));
    DocumentView& view = shown.view;
    // Turned while its tiles render: the square (at 100..140 of 240 x 320) ends up
    // at x 180..220 after a quarter turn clockwise.
    shown.GrabNow();
    document->RotatePage(0, 90);
    const QImage turned = shown.Grab();
    EXPECT_LT(qGray(turned.pixel(shown.OnScreen(0, QPointF(200, 120)))), 40);
    EXPECT_GT(qGray(turned.pixel(shown.OnScreen(0, QPointF(120, 120)))), 230);

    // Exported while its tiles render: a whole file comes out.
    double three = 3.0;
    view.SetZoom(three, three);
    shown.GrabNow();
    const std::string copy = dir.File("copy.tif");
    engine::WriteTiff(*document, copy);
    EXPECT_EQ(OpenDocument(copy)->PageCount(), 2);

    // Replaced while its tiles render: only the new document's pages show.
    const std::string otherPath = dir.File("other.tif");
    WriteTiffFile(otherPath, {testing::SquarePage(240, 320, 96.0, 0, 0, 240)});
    auto other = OpenDocument(otherPath);
    shown.GrabNow();
    view.Show(other);
    double one = 1.0;
    view.SetZoom(one, one);
    const QImage replaced = shown.Grab();
    EXPECT_EQ(view.NumPages(), 1);
    EXPECT_LT(qGray(replaced.pixel(shown.OnScreen(0, QPointF(200, 120)))), 40);

    // Closed while its tiles render, as File > Close does it.
    view.SetZoom(three, three);
    shown.GrabNow();
    view.SetFileName(u"");
    other->Close();
    view.Queue().WaitIdle();
    QApplication::processEvents();
    EXPECT_EQ(view.RequestedTiles(), 0u);
    EXPECT_EQ(view.Tiles().size(), 0);
}

TEST_F(DocumentViewTest, ATurnedPageIsLaidOutAgain) {
    auto document = SquareDocument(2);
    ShownView shown(document, QSize(500, 500));
    const QSize before = shown.view.PageRect(0).size();
    const int secondTop = shown.view.PageRect(1).top();
    document->RotatePage(0, 90);
    EXPECT_EQ(shown.view.PageRect(0).size(), before.transposed());
    EXPECT_EQ(shown.view.PageRect(1).size(), before);
    // The page below moves by the change in height.
    EXPECT_EQ(shown.view.PageRect(1).top() - secondTop, before.width() - before.height());
}

using folio::testing::ForeignDocument;

// The contract's documents reach the view through the factory that made them.
TEST_F(DocumentViewTest, LettingGoAndForeignDocuments) {
    engine::ContractDocumentFactory documents;
    auto contract = documents.NewDocument();
    contract->Create(FromUtf8(SquareDocument(2)->FilePath().string()));
    std::shared_ptr<EngineDocument> document = documents.EngineOf(*contract);
    ShownView shown(nullptr, QSize(300, 300));
    DocumentView& view = shown.view;
    view.SetEngineLookup(
        [&documents](const imaging::Document& given) { return documents.EngineOf(given); });
    view.SetDocument(contract);
    EXPECT_EQ(view.GetDocument(), contract);
    EXPECT_EQ(view.Shown(), document);
    EXPECT_EQ(view.NumPages(), 2);
    EXPECT_NE(view.LivenessProbe(), 0);
    EXPECT_EQ(view.GetFileName(), FromUtf8(document->FilePath().string()));
    engine::ContractDocumentFactory others;
    for (const auto& foreign :
         {std::shared_ptr<imaging::Document>(std::make_shared<ForeignDocument>()),
          others.NewDocument()}) {
        try {
            view.SetDocument(foreign);
            ADD_FAILURE() << "a document of another maker was accepted";
        } catch (const Error& e) {
            EXPECT_EQ(e.Number(), errors::kTypeMismatch);
        }
        EXPECT_EQ(view.GetDocument(), contract) << "the shown document stays";
    }
    EXPECT_THROW(view.SetFileName(u"/some/file.mdi"), Error);

    view.SetFileName(u"");
    EXPECT_EQ(view.GetDocument(), nullptr);
    EXPECT_EQ(view.Shown(), nullptr);
    contract.reset();
    EXPECT_EQ(view.NumPages(), 0);
    EXPECT_EQ(view.PageNum(), 0);
    EXPECT_TRUE(view.PageIndicatorText().isEmpty());
    view.Queue().WaitIdle();
    EXPECT_EQ(document.use_count(), 1) << "the view holds no reference any more";
    EXPECT_EQ(view.Tiles().size(), 0);
    const QImage empty = shown.Grab();
    EXPECT_EQ(empty.pixel(150, 150), empty.pixel(10, 10)) << "nothing is drawn";
    double a = 2.0;
    double b = 3.0;
    view.SetZoom(a, b);  // works without a document
    view.GetZoom(a, b);
    EXPECT_EQ(a, 2.0);
    EXPECT_EQ(b, 3.0);
}

// Rows of `image` that differ from its top-left pixel (the background).
std::vector<int> InkedRows(const QImage& image) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != image.pixel(0, 0)) {
                rows.push_back(y);
                break;
            }
        }
    }
    return rows;
}

// Without a document the viewer writes its empty-state text on one line in its
// middle, however narrow; a document shown takes its place for good.
TEST_F(DocumentViewTest, EmptyStateTextShowsOnOneLineUntilADocumentIsShown) {
    ShownView shown(nullptr, QSize(160, 300));
    DocumentView& view = shown.view;
    EXPECT_TRUE(InkedRows(shown.Grab()).empty()) << "no text, nothing drawn";
    view.SetEmptyText(
        QStringLiteral("Nothing was opened: \"/home/ann/a long folder name/"
                       "scans\" is a folder, not a document"));
    const std::vector<int> rows = InkedRows(shown.Grab());
    ASSERT_FALSE(rows.empty()) << "the text is drawn";
    EXPECT_LE(rows.back() - rows.front(), view.fontMetrics().height()) << "on one line";
    EXPECT_LT(rows.front(), 150);
    EXPECT_GT(rows.back(), 150);

    view.Show(SquareDocument(1));
    EXPECT_TRUE(view.EmptyText().isEmpty());
    view.SetFileName(u"");
    EXPECT_TRUE(InkedRows(shown.Grab()).empty()) << "the old reason does not come back";
}

TEST_F(DocumentViewTest, TwipSizesResizeAndNegativeOnesRaise) {
    DocumentView view;
    view.SetWidth(1440.0f * 3);
    view.SetHeight(1440.0f);
    EXPECT_EQ(view.width(), view.logicalDpiX() * 3);
    EXPECT_EQ(view.height(), view.logicalDpiY());
    EXPECT_THROW(view.SetWidth(-15.0f), Error);
    EXPECT_EQ(view.width(), view.logicalDpiX() * 3);
}

}  // namespace
}  // namespace folio::viewer
