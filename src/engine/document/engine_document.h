#pragma once

// The document: EngineDocument (the imaging contract's Document on top of libtiff,
// plus what the viewer, the exporter and the printer need), its pages as the
// contract's ImageCollection, and the factory that makes documents.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/document/page_source.h"
#include "engine/image/raster.h"
#include "engine/tiff/page_directory.h"
#include "imaging/document.h"
#include "imaging/document_factory.h"
#include "imaging/image_collection.h"

namespace folio::engine {

class PrintBackend;

// Our imaging document: the contract's Document on top of libtiff, plus what the
// viewer widget, the exporter and the printer need. Opening walks the page
// directory only; pages decode on demand into a byte-budgeted cache. Reading calls
// (sizes, decoding, rendering) may run on several threads at once, also while the
// owning thread turns pages or closes the document.
class EngineDocument : public imaging::Document, public PageSource {
  public:
    class Impl;

    explicit EngineDocument(size_t cacheBudgetBytes = kDefaultCacheBudget);
    ~EngineDocument() override;
    EngineDocument(const EngineDocument&) = delete;
    EngineDocument& operator=(const EngineDocument&) = delete;

    static constexpr size_t kDefaultCacheBudget = size_t{256} << 20;

    // imaging::Document
    void Create(const std::u16string& path) override;
    std::shared_ptr<imaging::ImageCollection> Images() override;
    void Close(bool save) override;
    void SaveAs(const std::u16string& path, int32_t fileFormat, int32_t compression) override;
    void PrintOut(int32_t fromPage, int32_t toPage, int32_t copies, const std::u16string& printer,
                  const std::u16string& printToFileName, bool printAnnotations,
                  int32_t fitMode) override;

    // PageSource
    int PageCount() const override;
    PageInfo Info(int page) const override;
    int QuarterTurns(int page) const override;
    std::shared_ptr<const Raster> Decode(int page) const override;
    std::string Verify(int page) const override;
    const std::string& FilePath() const override;
    uint64_t DirectoryOffset(int page) const override;
    std::unique_ptr<TiffFile> OpenFile() const override;

    bool IsOpen() const;
    // "TIFF" or "MDI".
    std::string FormatName() const;
    // Turns one page by a multiple of 90 degrees; any other angle raises and
    // changes nothing.
    void RotatePage(int page, int32_t angle);

    // The page's size as shown at the zoom factors, where 1.0 is its physical size
    // on a screen of the given logical DPI.
    DisplaySize ShownSize(int page, double zoomX, double zoomY, double dpiX, double dpiY) const;
    // Renders `region` of the page as shown at that zoom; only the region is
    // produced. Downscaling averages areas (bilevel pages come out as gray).
    RenderedImage Render(int page, double zoomX, double zoomY, double dpiX, double dpiY,
                         PixelRect region) const;

    // The same at `scale` output pixels per image pixel on both axes, whatever the
    // page's resolution: scale 1 reproduces the decoded pixels (as turned).
    DisplaySize ScaledSize(int page, double scale) const;
    RenderedImage RenderAtScale(int page, double scale, PixelRect region) const;

    // Where PrintOut sends its jobs; without one, printing raises "not available".
    void SetPrintBackend(std::shared_ptr<PrintBackend> backend);

    // Called (on the calling thread) after a page's turn changed, with the page.
    void SetChangeListener(std::function<void(int page)> listener);

    // Opens a document held in memory; `name` stands for the file in messages.
    // Such a document has no FilePath, so export decodes every page.
    void OpenBytes(std::vector<uint8_t> bytes, const std::string& name);
    // The name messages use for the file (the path as given).
    const std::string& DisplayName() const;
    // The page cache: bytes held now and the budget.
    size_t CacheBytes() const;
    size_t CacheBudget() const;
    // Lets go of the least recently used pages beyond the new budget.
    void SetCacheBudget(size_t bytes);
    // Pages needing more than this many bytes once decoded are refused (default
    // kMaxDecodedPageBytes).
    void SetDecodeLimit(size_t bytes);

  private:
    // Raises folio::Error unless a document is open and `page` is one of its pages.
    void CheckPage(int page) const;

    std::unique_ptr<Impl> impl_;
};

// The pages of an EngineDocument as the imaging contract's ImageCollection. Holds
// the document weakly: once the document is gone, calls raise folio::Error.
std::shared_ptr<imaging::ImageCollection> MakeImageCollection(
    std::weak_ptr<EngineDocument*> document);

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
