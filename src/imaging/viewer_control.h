#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "imaging/document.h"

namespace folio::imaging {

// Fit modes written to FitMode.
inline constexpr int32_t kFitWidth = 1;
inline constexpr int32_t kFitHeight = 2;

// The viewer control hosted by the main window. Every failing call raises folio::Error.
class ViewerControl {
  public:
    virtual ~ViewerControl() = default;

    // Shows `document`'s pages (null shows nothing).
    virtual void SetDocument(std::shared_ptr<Document> document) = 0;
    virtual std::shared_ptr<Document> GetDocument() = 0;
    // Setting "" lets go of the document shown.
    virtual void SetFileName(const std::u16string& fileName) = 0;
    virtual std::u16string GetFileName() = 0;
    // The current page, 1-based; 0 when nothing is shown.
    virtual int32_t PageNum() = 0;
    virtual void SetPageNum(int32_t page) = 0;
    virtual int32_t NumPages() = 0;
    virtual void SetFitMode(int32_t mode) = 0;
    virtual int32_t GetFitMode() = 0;
    // The two zoom factors, 1.0 being original size, always in the same positions.
    virtual void GetZoom(double& first, double& second) = 0;
    virtual void SetZoom(double& first, double& second) = 0;
    // Answers when the control is installed and working; raises otherwise.
    virtual int32_t LivenessProbe() = 0;
    // The control's size in the window's units (twips).
    virtual void SetWidth(float width) = 0;
    virtual void SetHeight(float height) = 0;
};

}  // namespace folio::imaging
