#pragma once

// The imaging contract on top of the engine: the core's Document and its pages,
// made by a factory, each holding an EngineDocument. The one place where the core's
// UTF-16 file names become the engine's paths, SaveAs becomes a TIFF export and
// PrintOut a print job, and where the front end says who watches their progress.

#include <cstddef>
#include <memory>
#include <vector>

#include "engine/document/engine_document.h"
#include "engine/document/progress.h"
#include "imaging/document.h"
#include "imaging/document_factory.h"

namespace folio::engine {

class ContractDocument;
class PrintBackend;

// Makes the contract's documents on fresh EngineDocuments, each with its own page
// cache of the given budget. Used on one thread, the front end's.
class ContractDocumentFactory : public imaging::DocumentFactory {
  public:
    explicit ContractDocumentFactory(size_t cacheBudgetBytes = EngineDocument::kDefaultCacheBudget);
    ~ContractDocumentFactory() override;

    std::shared_ptr<imaging::Document> NewDocument() override;

    // The engine's document behind `document` when this factory made it (and it is
    // still alive); null for any other document.
    std::shared_ptr<EngineDocument> EngineOf(const imaging::Document& document) const;

    // Every document of this factory, made before or after, prints through
    // `backend`; without one, PrintOut raises "not available".
    void SetPrintBackend(std::shared_ptr<PrintBackend> backend);
    // From now on every document of this factory reports the progress of SaveAs and
    // PrintOut to `progress` (empty: to nobody), which may cancel them.
    void SetProgress(Progress progress);

    // What the documents share with their factory.
    struct Outputs {
        std::shared_ptr<PrintBackend> printBackend;
        Progress progress;
    };

  private:
    size_t cacheBudget_;
    std::shared_ptr<Outputs> outputs_;
    // Weakly: the documents belong to whoever asked for them.
    mutable std::vector<std::weak_ptr<ContractDocument>> made_;
};

}  // namespace folio::engine
