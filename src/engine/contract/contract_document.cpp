// The imaging contract on top of the engine: the core's Document and its pages,
// made by a factory, each holding an EngineDocument.

#include "engine/contract/contract_document.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>

#include "common/error.h"
#include "common/error_numbers.h"
#include "common/utf8.h"
#include "engine/print/print_job.h"
#include "engine/write/tiff_writer.h"
#include "imaging/image.h"
#include "imaging/image_collection.h"

namespace folio::engine {
namespace {

// The core's UTF-16 name as the file system's: on POSIX its bytes, with those the
// name keeps as U+DC80 + byte (no UTF-8) given back unchanged.
std::filesystem::path FilePathOf(const std::u16string& name) {
    return std::filesystem::path(ToUtf8(name));
}

[[noreturn]] void NotOpen() {
    throw Error(errors::kObjectNotSet, "No document is open");
}

EngineDocument& Resolve(const std::weak_ptr<EngineDocument>& handle) {
    const auto document = handle.lock();
    if (!document || !document->IsOpen()) {
        throw Error(errors::kObjectNotSet, "The document is no longer open");
    }
    return *document;
}

// Pages hold their document weakly: once it is gone, calls raise.
class ContractImage : public imaging::Image {
  public:
    ContractImage(std::weak_ptr<EngineDocument> document, int page)
        : document_(std::move(document)), page_(page) {}

    void Rotate(int32_t angle) override { Resolve(document_).RotatePage(page_, angle); }

  private:
    std::weak_ptr<EngineDocument> document_;
    int page_;
};

class ContractImages : public imaging::ImageCollection {
  public:
    explicit ContractImages(std::weak_ptr<EngineDocument> document)
        : document_(std::move(document)) {}

    int32_t Count() override { return Resolve(document_).PageCount(); }

    std::shared_ptr<imaging::Image> Item(int32_t index) override {
        const int count = Resolve(document_).PageCount();
        if (index < 0 || index >= count) {
            throw Error(errors::kSubscriptOutOfRange,
                        "There is no image " + std::to_string(index) + "; the document has " +
                            std::to_string(count) + (count == 1 ? " page" : " pages"));
        }
        return std::make_shared<ContractImage>(document_, index);
    }

  private:
    std::weak_ptr<EngineDocument> document_;
};

}  // namespace

class ContractDocument : public imaging::Document {
  public:
    ContractDocument(std::shared_ptr<EngineDocument> engine,
                     std::shared_ptr<const ContractDocumentFactory::Outputs> outputs)
        : engine_(std::move(engine)), outputs_(std::move(outputs)) {}

    const std::shared_ptr<EngineDocument>& Engine() const { return engine_; }

    void Create(const std::u16string& path) override { engine_->Open(FilePathOf(path)); }

    std::shared_ptr<imaging::ImageCollection> Images() override {
        if (!engine_->IsOpen()) {
            NotOpen();
        }
        return std::make_shared<ContractImages>(engine_);
    }

    void Close(bool save) override {
        if (save) {
            throw Error(errors::kNotImplemented,
                        "Changes cannot be saved into the open document; use Save As");
        }
        engine_->Close();
    }

    void SaveAs(const std::u16string& path, int32_t fileFormat, int32_t compression) override {
        if (!engine_->IsOpen()) {
            NotOpen();
        }
        if (fileFormat != imaging::kFileFormatTiff) {
            throw Error(errors::kInvalidProcedureCall, "Unknown file format code " +
                                                           std::to_string(fileFormat) +
                                                           "; only 1 (TIFF) can be written");
        }
        if (compression != imaging::kCompressionDefault) {
            throw Error(errors::kInvalidProcedureCall,
                        "Unknown compression code " + std::to_string(compression) +
                            "; only 1 (lossless, G4 for bilevel pages) can be written");
        }
        // A copy: the listener may set another for the next operation.
        const Progress progress = outputs_->progress;
        WriteTiff(*engine_, FilePathOf(path), {}, nullptr, {}, progress);
    }

    // Annotations are always printed: the engine keeps none apart from the pages.
    void PrintOut(int32_t fromPage, int32_t toPage, int32_t copies, const std::u16string& printer,
                  const std::u16string& printToFileName, bool, int32_t fitMode) override {
        if (!engine_->IsOpen()) {
            NotOpen();
        }
        const Progress progress = outputs_->progress;
        PrintDocument(*engine_, outputs_->printBackend.get(),
                      PrintRequest{fromPage, toPage, copies, ToUtf8(printer),
                                   FilePathOf(printToFileName), fitMode},
                      progress);
    }

  private:
    std::shared_ptr<EngineDocument> engine_;
    std::shared_ptr<const ContractDocumentFactory::Outputs> outputs_;
};

ContractDocumentFactory::ContractDocumentFactory(size_t cacheBudgetBytes)
    : cacheBudget_(cacheBudgetBytes), outputs_(std::make_shared<Outputs>()) {}

ContractDocumentFactory::~ContractDocumentFactory() = default;

std::shared_ptr<imaging::Document> ContractDocumentFactory::NewDocument() {
    std::erase_if(made_, [](const auto& made) { return made.expired(); });
    auto document = std::make_shared<ContractDocument>(
        std::make_shared<EngineDocument>(cacheBudget_), outputs_);
    made_.push_back(document);
    return document;
}

std::shared_ptr<EngineDocument> ContractDocumentFactory::EngineOf(
    const imaging::Document& document) const {
    std::erase_if(made_, [](const auto& made) { return made.expired(); });
    for (const auto& made : made_) {
        const auto alive = made.lock();
        if (alive && static_cast<const imaging::Document*>(alive.get()) == &document) {
            return alive->Engine();
        }
    }
    return nullptr;
}

void ContractDocumentFactory::SetPrintBackend(std::shared_ptr<PrintBackend> backend) {
    outputs_->printBackend = std::move(backend);
}

void ContractDocumentFactory::SetProgress(Progress progress) {
    outputs_->progress = std::move(progress);
}

}  // namespace folio::engine
