// Finding one's way in a long document with the viewer's own input: thumbnails, go to
// page, the page's details, zoom by Ctrl+wheel and keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>
#include <cmath>
#include <string>
#include <vector>

#include "engine/widget/document_view.h"
#include "engine/widget/thumbnail_strip.h"
#include "support/raw_tiff_builder.h"
#include "support/shown_view.h"
#include "support/temp_dir.h"
#include "support/test_document.h"
#include "support/tiff_fixture.h"

namespace folio::viewer {
namespace {

using engine::testing::TempDir;
using engine::testing::TestPage;
using testing::OpenDocument;
using testing::ShownView;

QPoint Scroll(const QAbstractScrollArea& area) {
    return {area.horizontalScrollBar()->value(), area.verticalScrollBar()->value()};
}

// Paints the strip until every thumbnail it asked for has been delivered.
void SettleThumbnails(DocumentView& view) {
    ThumbnailStrip& strip = view.Thumbnails();
    for (int i = 0; i < 100; ++i) {
        strip.viewport()->grab();
        if (strip.Pending() == 0) {
            return;
        }
        view.Queue().WaitIdle();
        QApplication::processEvents();
    }
    ADD_FAILURE() << "thumbnails still missing";
}

// A page that cannot be decoded (an .mdi compression) after a plain black one.
std::string MixedDocument(const TempDir& dir) {
    engine::testing::RawTiffBuilder builder;
    builder.AddSimplePage(64, 64, 8, 1, std::vector<uint8_t>(64 * 64, 0x00));
    builder.AddSimplePage(64, 64, 1, 34719, std::vector<uint8_t>(64, 0x55));
    const std::string path = dir.File("mixed.tif");
    engine::testing::WriteFileBytes(path, builder.Bytes());
    return path;
}

class Thumbnails : public ::testing::Test {
  protected:
    TempDir dir;
};

TEST_F(Thumbnails, FollowScrollingAndAClickGoesToThePage) {
    ShownView shown(testing::SquareDocument(dir, 20), QSize(500, 400));
    DocumentView& view = shown.view;
    ThumbnailStrip& strip = view.Thumbnails();
    QTest::keyClick(&view, Qt::Key_F9);
    ASSERT_TRUE(view.ThumbnailsShown());
    EXPECT_EQ(strip.Current(), 0);

    // Scrolling the pages moves the frame and keeps it in the strip's view.
    for (const int page : {7, 19, 2}) {
        view.verticalScrollBar()->setValue(view.PageRect(page).top() - 12);
        EXPECT_EQ(view.PageNum(), page + 1);
        EXPECT_EQ(strip.Current(), page);
        const QRect inStrip = strip.ThumbnailRect(page).translated(-Scroll(strip));
        EXPECT_TRUE(strip.viewport()->rect().contains(inStrip)) << "page " << page + 1;
    }

    // Those in view are rendered small, with the page's content.
    SettleThumbnails(view);
    const QImage image = strip.viewport()->grab().toImage();
    const QRect third = strip.ThumbnailRect(2).translated(-Scroll(strip));
    ASSERT_EQ(third.size(), QSize(96, 128)) << "a 240 x 320 page fills the box";
    EXPECT_TRUE(strip.HasThumbnail(2));
    EXPECT_LT(qGray(image.pixel(third.topLeft() + QPoint(48, 48))), 100) << "the square";
    EXPECT_GT(qGray(image.pixel(third.topLeft() + QPoint(10, 10))), 230) << "the paper";
    EXPECT_FALSE(strip.HasThumbnail(19)) << "far out of the strip's view, not made";

    // A click on a thumbnail scrolls the pages to it.
    strip.verticalScrollBar()->setValue(strip.ThumbnailRect(12).top() - 12);
    QTest::mouseClick(strip.viewport(), Qt::LeftButton, {},
                      strip.ThumbnailRect(12).center() - Scroll(strip));
    EXPECT_EQ(view.PageNum(), 13);
    EXPECT_EQ(strip.Current(), 12);
    EXPECT_EQ(view.PageRect(12).top() - view.verticalScrollBar()->value(), 12);
    EXPECT_EQ(strip.focusPolicy(), Qt::NoFocus) << "the viewer keeps its keys";

    // F9 and a click on the page indicator hide and show them.
    QTest::keyClick(&view, Qt::Key_F9);
    EXPECT_FALSE(view.ThumbnailsShown());
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.PageIndicatorRect().center());
    EXPECT_TRUE(view.ThumbnailsShown());
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.PageIndicatorRect().center());
    EXPECT_FALSE(view.ThumbnailsShown());
}

TEST_F(Thumbnails, ATurnedPageIsMadeAgainInItsNewShape) {
    auto document = testing::SquareDocument(dir, 2);
    ShownView shown(document, QSize(400, 400));
    DocumentView& view = shown.view;
    view.ShowThumbnails(true);
    SettleThumbnails(view);
    ThumbnailStrip& strip = view.Thumbnails();
    ASSERT_TRUE(strip.HasThumbnail(0));
    document->RotatePage(0, 90);
    EXPECT_FALSE(strip.HasThumbnail(0)) << "the upright thumbnail is let go";
    SettleThumbnails(view);
    EXPECT_TRUE(strip.HasThumbnail(0));
    EXPECT_EQ(strip.ThumbnailRect(0).size(), QSize(96, 72)) << "320 x 240 once turned";
    EXPECT_EQ(strip.ThumbnailRect(1).size(), QSize(96, 128));
    // A quarter turn clockwise takes the square (100 to 140 on both axes) to 180 to 220
    // across and 100 to 140 down: 54 to 66 and 30 to 42 in the thumbnail.
    const QImage image = strip.viewport()->grab().toImage();
    const QPoint corner = strip.ThumbnailRect(0).topLeft() - Scroll(strip);
    EXPECT_LT(qGray(image.pixel(corner + QPoint(60, 36))), 100);
    EXPECT_GT(qGray(image.pixel(corner + QPoint(20, 36))), 230);
}

TEST_F(Thumbnails, AnUndecodablePageShowsItsNoticeSmall) {
    ShownView shown(OpenDocument(MixedDocument(dir)), QSize(400, 400));
    DocumentView& view = shown.view;
    view.ShowThumbnails(true);
    SettleThumbnails(view);
    ThumbnailStrip& strip = view.Thumbnails();
    EXPECT_TRUE(strip.Notice(0).isEmpty());
    EXPECT_TRUE(strip.HasThumbnail(0));
    EXPECT_NE(strip.Notice(1).indexOf(QStringLiteral("34719")), -1)
        << strip.Notice(1).toStdString();
    const QImage image = strip.viewport()->grab().toImage();
    const QRect second = strip.ThumbnailRect(1).translated(-Scroll(strip));
    const QRgb frame = image.pixel(second.left() + 1, second.center().y());
    EXPECT_GT(qRed(frame), qGreen(frame) + 60) << "the notice's red frame";
}

struct FitCase {
    const char* name;
    int32_t mode;
    QSize size;
};

class ThumbnailsAndFits : public Thumbnails, public ::testing::WithParamInterface<FitCase> {};

TEST_P(ThumbnailsAndFits, FitThePageAreaBesideTheStrip) {
    const std::string path = dir.File("letter.tif");
    engine::testing::WriteTiffFile(path, {testing::TextLikePage(2550, 3300, 300.0, 1)});
    ShownView shown(OpenDocument(path), GetParam().size);
    DocumentView& view = shown.view;
    view.SetFitMode(GetParam().mode);
    double alone = 0.0;
    double unused = 0.0;
    view.GetZoom(alone, unused);
    const int fullWidth = view.viewport()->width();

    view.ShowThumbnails(true);
    QApplication::processEvents();
    const QRect strip = view.Thumbnails().geometry();
    EXPECT_EQ(view.viewport()->width(), fullWidth - strip.width());
    EXPECT_LE(strip.right(), view.viewport()->geometry().left()) << "the strip hides no page";
    const QRect page = view.PageRect(0);
    if (GetParam().mode == imaging::kFitWidth) {
        EXPECT_EQ(page.width() + 2 * PageLayout::kMargin, view.viewport()->width());
        EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);
    } else {
        EXPECT_LE(page.height() + 2 * PageLayout::kMargin, view.viewport()->height());
        EXPECT_GE(page.height() + 2 * PageLayout::kMargin, view.viewport()->height() - 1);
    }

    view.ShowThumbnails(false);
    QApplication::processEvents();
    double again = 0.0;
    view.GetZoom(again, unused);
    EXPECT_DOUBLE_EQ(again, alone) << "hiding the strip gives the whole width back";
}

INSTANTIATE_TEST_SUITE_P(Modes, ThumbnailsAndFits,
                         ::testing::Values(FitCase{"Width", imaging::kFitWidth, QSize(700, 500)},
                                           FitCase{"Height", imaging::kFitHeight, QSize(700, 600)},
                                           FitCase{"HeightNarrow", imaging::kFitHeight,
                                                   QSize(300, 700)}),
                         [](const auto& info) { return std::string(info.param.name); });

// Keys as typed: "^G" is Ctrl+G, "\n" Enter, "\x1b" Escape, "\b" Backspace.
void Type(QWidget& widget, const std::string& keys) {
    for (size_t i = 0; i < keys.size(); ++i) {
        if (keys.compare(i, 2, "^G") == 0) {
            QTest::keyClick(&widget, Qt::Key_G, Qt::ControlModifier);
            ++i;
        } else if (keys[i] == '\n') {
            QTest::keyClick(&widget, Qt::Key_Return);
        } else if (keys[i] == '\x1b') {
            QTest::keyClick(&widget, Qt::Key_Escape);
        } else if (keys[i] == '\b') {
            QTest::keyClick(&widget, Qt::Key_Backspace);
        } else {
            QTest::keyClick(&widget, keys[i]);
        }
    }
}

struct GoToCase {
    const char* name;
    const char* typed;
    const char* shown;  // the indicator then
    const char* finish;
    int page;  // current afterwards
    bool open;
};

class GoToPage : public Thumbnails, public ::testing::WithParamInterface<GoToCase> {};

TEST_P(GoToPage, TheFieldTakesOnlyPagesOfTheDocument) {
    ShownView shown(testing::SquareDocument(dir, 30), QSize(400, 300));
    DocumentView& view = shown.view;
    Type(view, GetParam().typed);
    EXPECT_TRUE(view.GoToPageOpen());
    EXPECT_EQ(view.PageIndicatorText(), QString::fromUtf8(GetParam().shown));
    Type(view, GetParam().finish);
    EXPECT_EQ(view.GoToPageOpen(), GetParam().open);
    EXPECT_EQ(view.PageNum(), GetParam().page);
    EXPECT_EQ(view.PageRect(GetParam().page - 1).top() - view.verticalScrollBar()->value(),
              PageLayout::kMargin);
    if (!GetParam().open) {
        EXPECT_EQ(view.PageIndicatorText(), QStringLiteral("%1 / 30").arg(GetParam().page));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Typed, GoToPage,
    ::testing::Values(GoToCase{"CtrlG", "^G25", "Go to page 25 / 30", "\n", 25, false},
                      GoToCase{"ADigitOpensIt", "7", "Go to page 7 / 30", "\n", 7, false},
                      GoToCase{"PastTheLastIsRefused", "^G40", "Go to page 4 / 30", "\n", 4, false},
                      GoToCase{"ZeroIsRefused", "^G0", "Go to page  / 30", "\n", 1, true},
                      GoToCase{"EscapeCancels", "3", "Go to page 3 / 30", "\x1b", 1, false},
                      GoToCase{"Backspace", "2\b9", "Go to page 9 / 30", "\n", 9, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GoToPageWithoutADocument, DoesNothing) {
    DocumentView view;
    view.resize(300, 300);
    Type(view, "^G5\n7");
    EXPECT_FALSE(view.GoToPageOpen());
    EXPECT_TRUE(view.PageIndicatorText().isEmpty());
    EXPECT_EQ(view.PageNum(), 0);
}

struct DetailsCase {
    const char* name;
    TestPage page;
    int quarterTurns;
    double zoomX;
    double zoomY;
    const char* expected;
};

class PageDetails : public Thumbnails, public ::testing::WithParamInterface<DetailsCase> {};

TEST_P(PageDetails, NameSizeResolutionCompressionAndZoom) {
    const std::string path = dir.File("page.tif");
    engine::testing::WriteTiffFile(path, {GetParam().page});
    auto document = OpenDocument(path);
    ShownView shown(document, QSize(400, 300));
    DocumentView& view = shown.view;
    document->RotatePage(0, 90 * GetParam().quarterTurns);
    double zoomX = GetParam().zoomX;
    double zoomY = GetParam().zoomY;
    view.SetZoom(zoomX, zoomY);
    EXPECT_EQ(view.PageDetails().toStdString(), GetParam().expected);

    // Hovering over the page indicator shows them; elsewhere, nothing.
    QHelpEvent over(QEvent::ToolTip, view.PageIndicatorRect().center(),
                    view.viewport()->mapToGlobal(view.PageIndicatorRect().center()));
    QApplication::sendEvent(view.viewport(), &over);
    EXPECT_EQ(QToolTip::text(), view.PageDetails());
    QHelpEvent away(QEvent::ToolTip, QPoint(5, 5), view.viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(view.viewport(), &away);
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000));
}

INSTANTIATE_TEST_SUITE_P(
    Pages, PageDetails,
    ::testing::Values(
        DetailsCase{"Bilevel", testing::TextLikePage(2550, 3300, 300.0, 1), 0, 0.5, 0.5,
                    "Page 1 of 1\n2550 \u00d7 3300 pixels\n300 dpi\nCCITT G4\n"
                    "Zoom 50% of original size"},
        DetailsCase{
            "Colour",
            engine::testing::WithResolution(engine::testing::RgbPage(620, 877, 8, 5), 150.0, 150.0),
            0, 1.0, 1.0,
            "Page 1 of 1\n620 \u00d7 877 pixels\n150 dpi\nLZW\n"
            "Zoom 100% of original size"},
        DetailsCase{"Fax",
                    engine::testing::WithResolution(engine::testing::BilevelPage(1728, 1100, 3),
                                                    204.0, 98.0),
                    0, 1.0, 2.0,
                    "Page 1 of 1\n1728 \u00d7 1100 pixels\n204 \u00d7 98 dpi\nCCITT G3\n"
                    "Zoom 100% \u00d7 200% of original size"},
        DetailsCase{"FaxTurned",
                    engine::testing::WithResolution(engine::testing::BilevelPage(1728, 1100, 3),
                                                    204.0, 98.0),
                    1, 0.05, 0.05,
                    "Page 1 of 1\n1100 \u00d7 1728 pixels\n98 \u00d7 204 dpi\nCCITT G3\n"
                    "Zoom 5.0% of original size"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Thumbnails, PageDetailsOfAnUndecodablePageAreItsNotice) {
    ShownView shown(OpenDocument(MixedDocument(dir)), QSize(300, 200));
    DocumentView& view = shown.view;
    view.SetPageNum(2);
    shown.Grab();
    ASSERT_FALSE(view.PageNotice(1).isEmpty());
    EXPECT_EQ(view.PageDetails(),
              QStringLiteral("Page 2 cannot be shown.\n\n") + view.PageNotice(1));
}

struct WheelCase {
    const char* name;
    std::vector<int> deltas;  // eighths of a degree, one event each
    Qt::KeyboardModifiers modifiers;
    int steps;  // of 1.3
};

class WheelZoom : public Thumbnails, public ::testing::WithParamInterface<WheelCase> {};

TEST_P(WheelZoom, ByOneStepPerNotchKeepingThePointUnderThePointer) {
    ShownView shown(testing::SquareDocument(dir, 3), QSize(300, 300));
    DocumentView& view = shown.view;
    double first = 2.0;
    double second = 2.0;
    view.SetZoom(first, second);  // the page wider and taller than the view
    view.horizontalScrollBar()->setValue(view.PageRect(0).left() + 100);
    view.verticalScrollBar()->setValue(view.PageRect(0).top() + 150);
    const QPointF at(130, 170);
    const auto onPage = [&view, at] {
        const QRect page = view.PageRect(0);
        const QPointF content = QPointF(Scroll(view)) + at;
        return QPointF((content.x() - page.left()) / page.width(),
                       (content.y() - page.top()) / page.height());
    };
    const QPointF before = onPage();
    const int scrolled = view.verticalScrollBar()->value();

    for (const int delta : GetParam().deltas) {
        QWheelEvent wheel(at, view.viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta),
                          Qt::NoButton, GetParam().modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &wheel);
    }
    double zoomX = 0.0;
    double zoomY = 0.0;
    view.GetZoom(zoomX, zoomY);
    const double expected = 2.0 * std::pow(DocumentView::kZoomStep, GetParam().steps);
    EXPECT_NEAR(zoomX, expected, 1e-9);
    EXPECT_NEAR(zoomY, expected, 1e-9);
    if (GetParam().steps == 0) {
        EXPECT_NE(view.verticalScrollBar()->value(), scrolled) << "a plain wheel scrolls";
        return;
    }
    const QPointF after = onPage();
    const QRect page = view.PageRect(0);
    EXPECT_NEAR(after.x() * page.width(), before.x() * page.width(), 1.5);
    EXPECT_NEAR(after.y() * page.height(), before.y() * page.height(), 1.5);
}

INSTANTIATE_TEST_SUITE_P(
    Notches, WheelZoom,
    ::testing::Values(WheelCase{"In", {120}, Qt::ControlModifier, 1},
                      WheelCase{"Out", {-120}, Qt::ControlModifier, -1},
                      WheelCase{"TwoNotches", {240}, Qt::ControlModifier, 2},
                      WheelCase{"HalfNotchesAddUp", {60, 60, 60}, Qt::ControlModifier, 1},
                      WheelCase{"FineOut", {-40, -40, -40, -40}, Qt::ControlModifier, -1},
                      WheelCase{"WithoutCtrlScrolls", {-120}, Qt::NoModifier, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct ZoomKeyCase {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int steps;
};

class ZoomKeys : public Thumbnails, public ::testing::WithParamInterface<ZoomKeyCase> {};

TEST_P(ZoomKeys, StepLikeTheWheelAndLeaveTheFit) {
    ShownView shown(testing::SquareDocument(dir, 3), QSize(300, 300));
    DocumentView& view = shown.view;
    view.SetFitMode(imaging::kFitWidth);
    double fitted = 0.0;
    double unused = 0.0;
    view.GetZoom(fitted, unused);
    QTest::keyClick(&view, GetParam().key, GetParam().modifiers);
    double zoomX = 0.0;
    double zoomY = 0.0;
    view.GetZoom(zoomX, zoomY);
    EXPECT_NEAR(zoomX, fitted * std::pow(DocumentView::kZoomStep, GetParam().steps), 1e-9);
    EXPECT_EQ(zoomY, zoomX);
    EXPECT_EQ(view.GetFitMode(), GetParam().steps == 0 ? imaging::kFitWidth : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ZoomKeys,
    ::testing::Values(
        ZoomKeyCase{"CtrlPlus", Qt::Key_Plus, Qt::ControlModifier, 1},
        ZoomKeyCase{"CtrlShiftPlus", Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier, 1},
        ZoomKeyCase{"CtrlEqual", Qt::Key_Equal, Qt::ControlModifier, 1},
        ZoomKeyCase{"CtrlMinus", Qt::Key_Minus, Qt::ControlModifier, -1},
        ZoomKeyCase{"KeypadPlus", Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier, 1},
        ZoomKeyCase{"MinusAloneIsNotZoom", Qt::Key_Minus, Qt::NoModifier, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace folio::viewer
