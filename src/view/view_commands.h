#pragma once

// The view commands on the imaging contract: turning marked pages (`RotatePages`) and
// zooming (steps of 1.3, original size, fit to width or height).

#include <cstdint>
#include <vector>

#include "imaging/document.h"
#include "imaging/viewer_control.h"

namespace folio::view {

// The angles of the three rotation commands, in degrees, clockwise when positive.
inline constexpr int32_t kRotateClockwise = 90;
inline constexpr int32_t kRotateAnticlockwise = -90;
inline constexpr int32_t kRotateHalfTurn = 180;

// A page flag list with every page of `document` marked (-1); empty for a document
// without pages.
std::vector<int32_t> EveryPageMarked(imaging::Document& document);

// Turns by `angle` each page whose flag is -1, in page order: the page collection is
// taken anew for every page, and each page gets exactly one Rotate call with the whole
// angle. A failure ends the turning there; the pages before it stay turned.
void RotatePages(imaging::Document& document, const int32_t& angle,
                 const std::vector<int32_t>& pages);

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
