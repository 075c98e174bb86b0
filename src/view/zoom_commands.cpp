#include "view/zoom_commands.h"

#include <cmath>
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
