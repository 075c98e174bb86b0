#pragma once

// The engine's rendered pixels as QImages, for the screen and for the printer, and a
// page region rendered into one.

#include <QImage>
#include <QString>

#include "engine/document/engine_document.h"
#include "engine/image/raster.h"

namespace folio::viewer {

// The engine's pixels seen as a QImage (8-bit gray or ARGB32) without a copy: it
// stays valid while `rendered` lives unchanged. Raises folio::Error when the pixels
// do not fill the stated size.
QImage ImageView(const engine::RenderedImage& rendered);

// A copy of the engine's pixels as a QImage, which may outlive them; raises as
// ImageView does, or when there is no memory for the copy.
QImage ToQImage(const engine::RenderedImage& rendered);

// A page's `region` rendered (on the calling thread: a worker's) as a QImage of
// `scale` device pixels per logical pixel, or a null image and why not.
struct RenderedQImage {
    QImage image;
    QString error;
};
RenderedQImage RenderQImage(const engine::EngineDocument& document, int page, double zoomX,
                            double zoomY, double dpiX, double dpiY, engine::PixelRect region,
                            double scale);

}  // namespace folio::viewer
