#pragma once

#include <cstdint>
#include <memory>

#include "imaging/image.h"

namespace folio::imaging {

// The pages of a document, in page order.
class ImageCollection {
  public:
    virtual ~ImageCollection() = default;

    virtual int32_t Count() = 0;
    // Zero-based; raises folio::Error for an index outside 0..Count()-1.
    virtual std::shared_ptr<Image> Item(int32_t index) = 0;
};

}  // namespace folio::imaging
