#pragma once

#include <cstddef>
#include <memory>

#include "engine/engine_document.h"
#include "imaging/document_factory.h"

namespace folio::engine {

// Makes fresh EngineDocuments, each with its own page cache of the given budget.
class EngineDocumentFactory : public imaging::DocumentFactory {
  public:
    explicit EngineDocumentFactory(size_t cacheBudgetBytes = EngineDocument::kDefaultCacheBudget)
        : cacheBudget_(cacheBudgetBytes) {}

    std::shared_ptr<imaging::Document> NewDocument() override {
        return std::make_shared<EngineDocument>(cacheBudget_);
    }

  private:
    size_t cacheBudget_;
};

}  // namespace folio::engine
