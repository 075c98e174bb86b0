#include "support/shown_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <vector>

#include "support/test_document.h"
#include "support/tiff_fixture.h"

namespace folio::viewer::testing {

std::shared_ptr<engine::EngineDocument> OpenDocument(const std::string& path) {
    auto document = std::make_shared<engine::EngineDocument>();
    document->Open(path);
    return document;
}

std::shared_ptr<engine::EngineDocument> SquareDocument(const engine::testing::TempDir& dir,
                                                       int pages) {
    std::vector<engine::testing::TestPage> layouts;
    for (int i = 0; i < pages; ++i) {
        layouts.push_back(SquarePage(240, 320, 96.0, 100, 100, 40));
    }
    const std::string path = dir.File("squares.tif");
    engine::testing::WriteTiffFile(path, layouts);
    return OpenDocument(path);
}

void Settle(DocumentView& view) {
    for (int i = 0; i < 100; ++i) {
        view.viewport()->grab();  // a paint asks for the tiles missing
        if (view.RequestedTiles() == 0) {
            return;
        }
        view.Queue().WaitIdle();
        QApplication::processEvents();
    }
    ADD_FAILURE() << "tiles still missing";
}

ShownView::ShownView(std::shared_ptr<engine::EngineDocument> document, QSize size) {
    view.resize(size);
    view.show();
    QApplication::processEvents();
    view.Show(std::move(document));
    QApplication::processEvents();
}

QImage ShownView::Grab() {
    Settle(view);
    return view.viewport()->grab().toImage();
}

QImage ShownView::GrabNow() {
    return view.viewport()->grab().toImage();
}

QPoint ShownView::OnScreen(int page, QPointF inPage) const {
    const QPoint scroll(view.horizontalScrollBar()->value(), view.verticalScrollBar()->value());
    return view.PageRect(page).topLeft() - scroll + inPage.toPoint();
}

}  // namespace folio::viewer::testing
