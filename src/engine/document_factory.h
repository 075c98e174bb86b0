#pragma once

#include <cstddef>
#include <memory>
#include <utility>

#include "engine/engine_document.h"
#include "imaging/document_factory.h"

namespace folio::engine {

// Makes fresh EngineDocuments, each with its own page cache of the given budget.
class EngineDocumentFactory : public imaging::DocumentFactory {
  public:
    explicit EngineDocumentFactory(size_t cacheBudgetBytes = EngineDocument::kDefaultCacheBudget)
        : cacheBudget_(cacheBudgetBytes) {}

    std::shared_ptr<imaging::Document> NewDocument() override {
        auto document = std::make_shared<EngineDocument>(cacheBudget_);
        document->SetPrintBackend(printBackend_);
        return document;
    }

    // Every document made from now on prints through `backend`.
    void SetPrintBackend(std::shared_ptr<PrintBackend> backend) {
        printBackend_ = std::move(backend);
    }

  private:
    size_t cacheBudget_;
    std::shared_ptr<PrintBackend> printBackend_;
};

}  // namespace folio::engine
