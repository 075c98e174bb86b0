#pragma once

#include <cstdint>

namespace folio::imaging {

// One page of an imaging document.
class Image {
  public:
    virtual ~Image() = default;

    // Turns the page by `angle` degrees, clockwise when positive. The view showing
    // the document follows without any further call. Raises folio::Error for an
    // angle the component cannot apply; the page is then unchanged.
    virtual void Rotate(int32_t angle) = 0;
};

}  // namespace folio::imaging
