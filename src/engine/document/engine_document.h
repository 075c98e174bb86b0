#pragma once

// The document: a TIFF or .mdi file opened for viewing, turning, exporting and
// printing, its pages decoded on demand into a byte-budgeted cache.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/document/page_source.h"
#include "engine/image/raster.h"
#include "engine/tiff/page_directory.h"

namespace folio::engine {

// Our imaging document on top of libtiff: what the viewer widget, the writers and
// the printer read. Opening walks the page directory only; pages decode on demand
// into a byte-budgeted cache. Every call may run on any thread, several at once, also
// while another thread opens or closes the document, except RotatePage and
// SetChangeListener: they belong to the one thread that turns pages (the listener
// is called there).
class EngineDocument : public PageSource {
  public:
    class Impl;

    explicit EngineDocument(size_t cacheBudgetBytes = kDefaultCacheBudget);
    ~EngineDocument() override;
    EngineDocument(const EngineDocument&) = delete;
    EngineDocument& operator=(const EngineDocument&) = delete;

    static constexpr size_t kDefaultCacheBudget = size_t{256} << 20;

    // Opens the file at `path` in place of the document open, if any; messages name
    // the file by the path as given. Raises folio::Error naming the file and what is
    // wrong with it (and "No file name given" for an empty path); the document open
    // before stays open then.
    void Open(const std::filesystem::path& path);
    // Opens a document held in memory; `name` stands for the file in messages.
    // Such a document has no FilePath, so export decodes every page.
    void OpenBytes(std::vector<uint8_t> bytes, const std::string& name);
    // Lets go of the file and its pages. A decode running on another thread finishes
    // on its own hold of the file.
    void Close();

    // PageSource
    int PageCount() const override;
    PageInfo Info(int page) const override;
    int QuarterTurns(int page) const override;
    std::shared_ptr<const Raster> Decode(int page) const override;
    std::string Verify(int page) const override;
    std::filesystem::path FilePath() const override;
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

    // Called (on the turning thread) after a page's turn changed, with the page.
    void SetChangeListener(std::function<void(int page)> listener);

    // The name messages use for the file (the path as given); raises when no
    // document is open.
    std::string DisplayName() const;
    // The page cache: bytes held now and the budget.
    size_t CacheBytes() const;
    size_t CacheBudget() const;
    // Lets go of the least recently used pages beyond the new budget.
    void SetCacheBudget(size_t bytes);
    // Pages needing more than this many bytes once decoded are refused (default
    // kMaxDecodedPageBytes).
    void SetDecodeLimit(size_t bytes);

  private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace folio::engine
