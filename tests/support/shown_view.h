#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>
#include <memory>
#include <string>

#include "engine/document/engine_document.h"
#include "engine/widget/document_view.h"
#include "support/temp_dir.h"

namespace folio::viewer::testing {

std::shared_ptr<engine::EngineDocument> OpenDocument(const std::string& path);

// `pages` gray pages of 240 x 320 at 96 dpi, each white with a black square of side 40 at
// (100, 100), written into `dir`.
std::shared_ptr<engine::EngineDocument> SquareDocument(const engine::testing::TempDir& dir,
                                                       int pages);

// Paints until every tile shown has been rendered and delivered.
void Settle(DocumentView& view);

// Shows `document` in a view of the given viewport size, painted once.
struct ShownView {
    DocumentView view;

    ShownView(std::shared_ptr<engine::EngineDocument> document, QSize size);

    // The viewport once all its tiles are in.
    QImage Grab();
    // The viewport as painted now, rendered or not.
    QImage GrabNow();
    // A point of the page, in the page's own logical pixels, on the grabbed image.
    QPoint OnScreen(int page, QPointF inPage) const;
};

}  // namespace folio::viewer::testing
