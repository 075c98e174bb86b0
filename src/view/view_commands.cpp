// The view commands: RotatePages and the zoom steps and fits.
#include "view/view_commands.h"

#include <cmath>
#include <memory>
#include <string>

#include "common/error.h"
#include "common/error_numbers.h"

namespace folio::view {
namespace {

// A step that leaves the double range is an error, raised before anything is set.
double Checked(double factor) {
    if (std::isinf(factor)) {
        throw Error(errors::kOverflow, "Overflow: the zoom factor is too large to be changed");
    }
    return factor;
}

}  // namespace

std::vector<int32_t> EveryPageMarked(imaging::Document& document) {
    const int32_t count = document.Images()->Count();
    return std::vector<int32_t>(count > 0 ? static_cast<size_t>(count) : 0, -1);
}

void RotatePages(imaging::Document& document, const int32_t& angle,
                 const std::vector<int32_t>& pages) {
    for (size_t i = 0; i < pages.size(); ++i) {
        if (pages[i] != -1) {
            continue;
        }
        // Both references are let go before the next page.
        std::shared_ptr<imaging::Image> image = document.Images()->Item(static_cast<int32_t>(i));
        image->Rotate(angle);
    }
}

void FitToView(imaging::ViewerControl& viewer, bool documentLoaded, int32_t fitMode) {
    if (!documentLoaded) {
        return;
    }
    viewer.SetFitMode(fitMode);
}

void ZoomIn(imaging::ViewerControl& viewer) {
    double first = 0.0;
    double second = 0.0;
    viewer.GetZoom(first, second);
    first = Checked(first * kZoomStep);
    second = Checked(second * kZoomStep);
    viewer.SetZoom(first, second);
}

void ZoomOut(imaging::ViewerControl& viewer) {
    double first = 0.0;
    double second = 0.0;
    viewer.GetZoom(first, second);
    first = Checked(first / kZoomStep);
    second = Checked(second / kZoomStep);
    viewer.SetZoom(first, second);
}

void ResetToOriginalSize(imaging::ViewerControl& viewer) {
    double first = 0.0;
    double second = 0.0;
    viewer.GetZoom(first, second);
    first = 1.0;
    second = 1.0;
    viewer.SetZoom(first, second);
}

}  // namespace folio::view
