#pragma once

#include <cstdint>

#include "imaging/viewer_control.h"

namespace folio::view {

// One zoom step: the double nearest to 1.3, used to multiply and to divide.
inline constexpr double kZoomStep = 1.3;

// Sets the viewer's fit mode (imaging::kFitWidth or kFitHeight); without a loaded
// document no call reaches the viewer.
void FitToView(imaging::ViewerControl& viewer, bool documentLoaded, int32_t fitMode);
// Multiplies both factors the viewer reports by the zoom step, each on its own.
void ZoomIn(imaging::ViewerControl& viewer);
// Divides both factors the viewer reports by the zoom step, each on its own.
void ZoomOut(imaging::ViewerControl& viewer);
// Reads the factors (unused), then sets both to exactly 1.0.
void ResetToOriginalSize(imaging::ViewerControl& viewer);

}  // namespace folio::view
