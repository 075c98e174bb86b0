#pragma once

#include <memory>

#include "imaging/image_collection.h"

namespace folio::engine {

class EngineDocument;

// The pages of an EngineDocument as the imaging contract's ImageCollection. Holds
// the document weakly: once the document is gone, calls raise folio::Error.
std::shared_ptr<imaging::ImageCollection> MakeImageCollection(
    std::weak_ptr<EngineDocument*> document);

}  // namespace folio::engine
