#include "engine/engine_images.h"

#include <string>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/engine_document.h"

namespace folio::engine {
namespace {

EngineDocument& Resolve(const std::weak_ptr<EngineDocument*>& handle) {
    const auto document = handle.lock();
    if (!document || !*document || !(*document)->IsOpen()) {
        throw Error(errors::kObjectNotSet, "The document is no longer open");
    }
    return **document;
}

class EngineImage : public imaging::Image {
  public:
    EngineImage(std::weak_ptr<EngineDocument*> document, int page)
        : document_(std::move(document)), page_(page) {}

    void Rotate(int32_t angle) override { Resolve(document_).RotatePage(page_, angle); }

  private:
    std::weak_ptr<EngineDocument*> document_;
    int page_;
};

class EngineImageCollection : public imaging::ImageCollection {
  public:
    explicit EngineImageCollection(std::weak_ptr<EngineDocument*> document)
        : document_(std::move(document)) {}

    int32_t Count() override { return Resolve(document_).PageCount(); }

    std::shared_ptr<imaging::Image> Item(int32_t index) override {
        const int count = Resolve(document_).PageCount();
        if (index < 0 || index >= count) {
            throw Error(errors::kSubscriptOutOfRange,
                        "There is no image " + std::to_string(index) + "; the document has " +
                            std::to_string(count) + (count == 1 ? " page" : " pages"));
        }
        return std::make_shared<EngineImage>(document_, index);
    }

  private:
    std::weak_ptr<EngineDocument*> document_;
};

}  // namespace

std::shared_ptr<imaging::ImageCollection> MakeImageCollection(
    std::weak_ptr<EngineDocument*> document) {
    return std::make_shared<EngineImageCollection>(std::move(document));
}

}  // namespace folio::engine
