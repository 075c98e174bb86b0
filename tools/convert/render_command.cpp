#include "render_command.h"

#include <cmath>

#include "argument_list.h"
#include "command_files.h"
#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/tiff/located_error.h"
#include "engine/tiff/page_directory.h"
#include "engine/write/png_writer.h"
#include "skipped_pages.h"
#include "usage_error.h"

namespace folio::convert {
namespace {

// The largest side of an output image we accept from the command line; the
// engine renders no more than kMaxRenderPixels at once.
constexpr double kMaxSide = 100000.0;
constexpr double kMaxPixels = static_cast<double>(engine::kMaxRenderPixels);

// How the page is to be drawn: at the viewer's zoom and DPI, or at a plain scale
// of image pixels.
struct RenderRequest {
    bool imageScale = false;
    double zoom = 1.0;  // the viewer's zoom, or output pixels per image pixel
    double dpi = 96.0;

    engine::DisplaySize Size(const engine::EngineDocument& document, int page) const {
        return imageScale ? document.ScaledSize(page, zoom)
                          : document.ShownSize(page, zoom, zoom, dpi, dpi);
    }
    engine::RenderedImage Render(const engine::EngineDocument& document, int page,
                                 engine::PixelRect region) const {
        return imageScale ? document.RenderAtScale(page, zoom, region)
                          : document.Render(page, zoom, zoom, dpi, dpi, region);
    }
};

// --width PX: fit to width, both axes at the same zoom so the page keeps its shape.
RenderRequest ForWidth(const engine::EngineDocument& document, int page, long width) {
    const engine::DisplaySize unit = document.ShownSize(page, 1.0, 1.0, 96.0, 96.0);
    if (!(unit.width > 0)) {
        throw UsageError("the page has no width to fit");
    }
    return {false, static_cast<double>(width) / unit.width, 96.0};
}

}  // namespace

int RunRender(const std::vector<std::string>& args) {
    const ArgumentList list(args, {"--page", "--zoom", "--dpi", "--width", "--scale", "-o"},
                            {"--overwrite", "--strict"});
    if (list.Positional().size() != 1) {
        throw UsageError("render needs exactly one file");
    }
    if (!list.Has("--page")) {
        throw UsageError("render needs --page N");
    }
    if (!list.Has("-o")) {
        throw UsageError("render needs -o OUT.png");
    }
    const int modes = int{list.Has("--zoom")} + list.Has("--width") + list.Has("--scale");
    if (modes != 1) {
        throw UsageError("render needs exactly one of --zoom, --width and --scale");
    }
    if (list.Has("--dpi") && !list.Has("--zoom")) {
        throw UsageError("--dpi goes with --zoom only");
    }
    const long pageNumber = list.IntValue("--page", 1, 1000000);
    RenderRequest request;
    long width = 0;
    if (list.Has("--zoom")) {
        request.zoom = list.DoubleValue("--zoom", 1e-4, 1e4);
        if (list.Has("--dpi")) {
            request.dpi = list.DoubleValue("--dpi", 1.0, 10000.0);
        }
    } else if (list.Has("--width")) {
        width = list.IntValue("--width", 1, static_cast<long>(kMaxSide));
    } else {
        request.imageScale = true;
        request.zoom = list.DoubleValue("--scale", 1e-4, 1e4);
    }

    // An existing OUT.png is replaced, as by export; never the input itself.
    InputFiles({list.Positional()[0]}).CheckTarget(list.Value("-o"), true);
    const auto document = OpenDocument(list.Positional()[0]);
    if (pageNumber > document->PageCount()) {
        throw UsageError("--page " + std::to_string(pageNumber) + " is past the last page (" +
                         std::to_string(document->PageCount()) + ")");
    }
    const int page = static_cast<int>(pageNumber - 1);
    if (width > 0) {
        request = ForWidth(*document, page, width);
    }
    const engine::DisplaySize shown = request.Size(*document, page);
    const double w = width > 0 ? static_cast<double>(width) : std::round(shown.width);
    const double h = std::round(shown.height);
    // Checked before anything is decoded, so a page too large to draw fails at once.
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide || w * h > kMaxPixels) {
        throw UsageError(
            "the page would be " + std::to_string(static_cast<long long>(w)) + " x " +
            std::to_string(static_cast<long long>(h)) +
            " pixels; choose a zoom that gives 1 to 100000 pixels a side and at most " +
            std::to_string(engine::kMaxRenderPixels) + " pixels in all");
    }
    const engine::PixelRect region{0, 0, static_cast<int>(w), static_cast<int>(h)};
    const engine::RenderedImage rendered = request.Render(*document, page, region);
    // Known once the page is decoded: the PNG is made only of a page wholly read.
    const std::string damage = document->Info(page).damage;
    if (!damage.empty() && list.Has("--strict")) {
        throw Error(errors::kDamagedFile,
                    engine::PageLocation(list.Positional()[0], page) + " is damaged: " + damage);
    }
    engine::WritePng(rendered, list.Value("-o"));
    if (damage.empty()) {
        return 0;
    }
    WarnSkipped(list.Positional()[0], {{document.get(), page, damage}}, SkipKind::Damaged);
    return kSkippedStatus;
}

}  // namespace folio::convert
