#include "engine/widget/rendered_qimage.h"

#include <exception>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/widget/page_notice.h"

namespace folio::viewer {

QImage ImageView(const engine::RenderedImage& rendered) {
    const bool gray = rendered.format == engine::RenderedImage::Format::Gray8;
    const size_t rowBytes = static_cast<size_t>(rendered.width) * (gray ? 1 : 4);
    if (rendered.width <= 0 || rendered.height <= 0 || rendered.stride < rowBytes ||
        rendered.pixels.size() < rendered.stride * static_cast<size_t>(rendered.height)) {
        throw Error(errors::kInvalidProcedureCall,
                    "The rendered area has no pixels or fewer than its size needs");
    }
    return QImage(rendered.pixels.data(), rendered.width, rendered.height,
                  static_cast<qsizetype>(rendered.stride),
                  gray ? QImage::Format_Grayscale8 : QImage::Format_ARGB32);
}

QImage ToQImage(const engine::RenderedImage& rendered) {
    QImage image = ImageView(rendered).copy();
    if (image.isNull()) {
        throw Error(errors::kOutOfMemory, "Out of memory for a rendered area");
    }
    return image;
}

RenderedQImage RenderQImage(const engine::EngineDocument& document, int page, double zoomX,
                            double zoomY, double dpiX, double dpiY, engine::PixelRect region,
                            double scale) {
    RenderedQImage result;
    try {
        result.image = ToQImage(document.Render(page, zoomX, zoomY, dpiX, dpiY, region));
        result.image.setDevicePixelRatio(scale);
    } catch (const std::exception& e) {
        result.error = ErrorText(e);
    }
    return result;
}

}  // namespace folio::viewer
