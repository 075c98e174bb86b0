#pragma once

#include <memory>

#include "imaging/document.h"

namespace folio::imaging {

// Makes fresh, empty imaging documents.
class DocumentFactory {
  public:
    virtual ~DocumentFactory() = default;
    virtual std::shared_ptr<Document> NewDocument() = 0;
};

}  // namespace folio::imaging
