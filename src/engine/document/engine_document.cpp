// The document: a TIFF or .mdi file opened for viewing, turning, exporting and
// printing, its pages decoded on demand into a byte-budgeted cache.

#include "engine/document/engine_document.h"

#include <tiffio.h>

#include <bit>
#include <cmath>
#include <mutex>
#include <string>
#include <utility>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/decode/page_decoder.h"
#include "engine/document/page_source.h"
#include "engine/render/page_cache.h"
#include "engine/render/page_renderer.h"
#include "engine/tiff/located_error.h"
#include "engine/tiff/page_directory.h"
#include "engine/tiff/tiff_io.h"
#include "sys/memory.h"

namespace folio::engine {

class EngineDocument::Impl {
  public:
    explicit Impl(size_t budget) : cache(budget) {}

    // Pages render on worker threads while the user-interface thread turns pages or
    // closes the document, so the state (the file, its path and its pages) is read
    // and written only under `mutex` (held briefly), the libtiff handle under a lock
    // of its own held for a whole page decode, and the cache under a third. A decode
    // keeps its file alive, so closing never waits for one.
    mutable std::mutex mutex;
    std::shared_ptr<TiffFile> file;
    std::shared_ptr<std::mutex> decoding;  // the handle of `file`
    // Decoding adds the damage it finds to a page's info.
    mutable std::vector<PageEntry> pages;
    std::vector<int> turns;
    std::filesystem::path path;
    mutable std::mutex cacheMutex;
    mutable PageCache cache;
    size_t decodeLimit = kMaxDecodedPageBytes;
    // The turning thread's alone.
    std::function<void(int)> listener;

    void Adopt(std::unique_ptr<TiffFile> opened, std::filesystem::path openedPath) {
        auto entries = ReadPageDirectory(*opened, kMaxPages, WhyUndecodable);
        std::lock_guard lock(mutex);
        file = std::move(opened);
        decoding = std::make_shared<std::mutex>();
        pages = std::move(entries);
        turns.assign(pages.size(), 0);
        path = std::move(openedPath);
        std::lock_guard cacheLock(cacheMutex);
        cache.Clear();
    }

    // The open file; raises when there is none. `mutex` is held.
    const TiffFile& OpenedFile() const {
        if (!file) {
            throw Error(errors::kObjectNotSet, "No document is open");
        }
        return *file;
    }

    // Raises folio::Error unless a document is open and `page` is one of its pages;
    // `mutex` is held.
    void Check(int page) const {
        OpenedFile();
        if (page < 0 || page >= static_cast<int>(pages.size())) {
            throw Error(errors::kSubscriptOutOfRange,
                        file->Name() + ": there is no page " + std::to_string(page + 1) +
                            " (the document has " + std::to_string(pages.size()) + ")");
        }
    }

    std::shared_ptr<const Raster> Cached(int key) const {
        std::lock_guard lock(cacheMutex);
        return cache.Find(key);
    }

    // What decoding a page needs, taken under `mutex`.
    struct Decoding {
        std::shared_ptr<TiffFile> file;
        std::shared_ptr<std::mutex> handle;  // the lock of `file`'s handle
        PageEntry entry;
        size_t limit = 0;
        std::string where;  // "FILE, page N"
    };

    // Raises folio::Error for no such page, or one where the page chain breaks.
    Decoding Prepare(int page) const {
        Decoding d;
        {
            std::lock_guard lock(mutex);
            Check(page);
            d.file = file;
            d.handle = decoding;
            d.entry = pages[static_cast<size_t>(page)];
            d.limit = decodeLimit;
        }
        d.where = PageLocation(d.file->Name(), page);
        if (!d.entry.info.chainBreak.empty()) {
            throw LocatedError(errors::kDamagedFile, d.where, ChainBreakReason(d.entry.info));
        }
        return d;
    }

    // Makes the page `file`'s current one, with nothing yet said about its data.
    static void Select(TiffFile& on, const Decoding& d) {
        on.TakeError();
        if (!on.SelectPage(d.entry.offset)) {
            const std::string why = on.TakeError();
            throw LocatedError(errors::kDamagedFile, d.where,
                               "the page cannot be read" + (why.empty() ? "" : " (" + why + ")"));
        }
        // (Reading the directory again says again what opening said of it.)
        on.TakeMessages();
    }

    // Keeps the damage a decode of `page` found, the first found; pages decode on
    // several threads.
    void NoteDamage(int page, const std::shared_ptr<TiffFile>& decoded, std::string damage) const {
        if (damage.empty()) {
            return;
        }
        std::lock_guard lock(mutex);
        std::string& known = pages[static_cast<size_t>(page)].info.damage;
        if (file == decoded && known.empty()) {  // not closed or replaced meanwhile
            known = std::move(damage);
        }
    }

    // The page decoded whole (`denominator` 1), or at 1/2, 1/4 or 1/8 of its size when
    // its layout allows (null when it does not), from the cache when held there.
    std::shared_ptr<const Raster> Load(int page, int denominator) const {
        const Decoding d = Prepare(page);
        // Smaller versions of a page are held beside it, under keys above any page's.
        const int key = page | (std::countr_zero(static_cast<unsigned>(denominator)) << 28);
        if (auto held = Cached(key)) {
            return held;
        }
        std::lock_guard decode(*d.handle);
        // Another thread may have decoded the page while this one waited.
        if (auto held = Cached(key)) {
            return held;
        }
        Select(*d.file, d);
        std::shared_ptr<const Raster> raster;
        if (denominator == 1) {
            raster =
                std::make_shared<const Raster>(DecodePage(*d.file, d.entry.info, d.where, d.limit));
        } else if (auto smaller = DecodeJpegScaled(*d.file, d.entry.info, denominator, d.where)) {
            raster = std::make_shared<const Raster>(std::move(*smaller));
        } else {
            return nullptr;
        }
        NoteDamage(page, d.file, DecodeDamage(d.file->TakeMessages()));
        std::lock_guard lock(mutex);
        if (file == d.file) {  // not closed or replaced meanwhile
            std::lock_guard cacheLock(cacheMutex);
            cache.Put(key, raster);
        }
        return raster;
    }

    // The page decoded on a libtiff handle of its own and let go: several run at once.
    std::string Verify(int page) const {
        const Decoding d = Prepare(page);
        if (Cached(page)) {
            return d.entry.info.damage;  // decoded whole already, so its damage is known
        }
        std::unique_ptr<TiffFile> own;
        try {
            own = d.file->Duplicate();
        } catch (const Error&) {
            // No descriptor to spare: the document's own handle, one page at a time.
        }
        if (!own) {
            Load(page, 1);
        } else {
            Select(*own, d);
            DecodePage(*own, d.entry.info, d.where, d.limit);
            NoteDamage(page, d.file, DecodeDamage(own->TakeMessages()));
        }
        std::lock_guard lock(mutex);
        Check(page);
        return pages[static_cast<size_t>(page)].info.damage;
    }

    // A JPEG page drawn below half its size comes from a smaller decode (libjpeg's
    // scaled DCT), still area-averaged the rest of the way; others from the whole page.
    RenderedImage RenderPage(const EngineDocument& document, int page, RenderGeometry geometry,
                             const PixelRect& region) const {
        const PageInfo info = document.Info(page);
        for (const int denominator : {8, 4, 2}) {
            if (info.compression != COMPRESSION_JPEG || geometry.scaleX * denominator > 1.0 ||
                geometry.scaleY * denominator > 1.0) {
                continue;
            }
            if (const auto smaller = Load(page, denominator)) {
                // Exactly 1/denominator: a last row or column standing for fewer
                // pixels than that must not stretch the others.
                geometry.scaleX *= denominator;
                geometry.scaleY *= denominator;
                return RenderRegion(*smaller, geometry, region);
            }
            // This size does not divide the strips; a smaller denominator may.
        }
        return RenderRegion(*Load(page, 1), geometry, region);
    }
};

namespace {

void CheckFactor(double value, const char* what) {
    if (!std::isfinite(value) || value <= 0.0 || value > 1e6) {
        throw Error(errors::kInvalidProcedureCall,
                    std::string("Invalid ") + what + " for rendering: " + std::to_string(value));
    }
}

}  // namespace

EngineDocument::EngineDocument(size_t cacheBudgetBytes)
    : impl_(std::make_unique<Impl>(cacheBudgetBytes)) {
    // Decoded pages (megabytes each) come and go as pages are shown.
    static const bool mapped = (sys::MapLargeAllocations(), true);
    (void)mapped;
}

EngineDocument::~EngineDocument() = default;

void EngineDocument::Open(const std::filesystem::path& path) {
    if (path.empty()) {
        throw Error(errors::kFileNotFound, "No file name given");
    }
    impl_->Adopt(TiffFile::Open(path, path.string()), path);
}

void EngineDocument::OpenBytes(std::vector<uint8_t> bytes, const std::string& name) {
    impl_->Adopt(TiffFile::OpenBytes(std::move(bytes), name), {});
}

void EngineDocument::Close() {
    std::lock_guard lock(impl_->mutex);
    {
        std::lock_guard cacheLock(impl_->cacheMutex);
        impl_->cache.Clear();
    }
    impl_->pages.clear();
    impl_->turns.clear();
    impl_->file.reset();
    impl_->decoding.reset();
    impl_->path.clear();
}

int EngineDocument::PageCount() const {
    std::lock_guard lock(impl_->mutex);
    return static_cast<int>(impl_->pages.size());
}

PageInfo EngineDocument::Info(int page) const {
    std::lock_guard lock(impl_->mutex);
    impl_->Check(page);
    return impl_->pages[static_cast<size_t>(page)].info;
}

int EngineDocument::QuarterTurns(int page) const {
    std::lock_guard lock(impl_->mutex);
    impl_->Check(page);
    return impl_->turns[static_cast<size_t>(page)];
}

std::shared_ptr<const Raster> EngineDocument::Decode(int page) const {
    return impl_->Load(page, 1);
}

std::string EngineDocument::Verify(int page) const {
    return impl_->Verify(page);
}

std::filesystem::path EngineDocument::FilePath() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->path;
}

uint64_t EngineDocument::DirectoryOffset(int page) const {
    std::lock_guard lock(impl_->mutex);
    impl_->Check(page);
    return impl_->pages[static_cast<size_t>(page)].offset;
}

std::unique_ptr<TiffFile> EngineDocument::OpenFile() const {
    std::shared_ptr<TiffFile> opened;
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->path.empty()) {
            return nullptr;
        }
        opened = impl_->file;
    }
    try {
        return opened ? opened->Duplicate() : nullptr;
    } catch (const Error&) {
        return nullptr;  // copying is only a shortcut: the writer decodes instead
    }
}

bool EngineDocument::IsOpen() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->file != nullptr;
}

std::string EngineDocument::FormatName() const {
    std::lock_guard lock(impl_->mutex);
    return ContainerName(impl_->OpenedFile().Format());
}

std::string EngineDocument::DisplayName() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->OpenedFile().Name();
}

void EngineDocument::RotatePage(int page, int32_t angle) {
    {
        // Checked under the same hold as the turn: a close on another thread
        // meanwhile would leave no page to turn.
        std::lock_guard lock(impl_->mutex);
        impl_->Check(page);
        if (angle % 90 != 0) {
            throw Error(errors::kInvalidProcedureCall,
                        "A page can only be turned by a multiple of 90 degrees, not by " +
                            std::to_string(angle));
        }
        int& turns = impl_->turns[static_cast<size_t>(page)];
        const int turned = NormalQuarterTurns(turns + angle / 90 % 4);
        if (turned == turns) {
            return;
        }
        turns = turned;
    }
    if (impl_->listener) {
        impl_->listener(page);
    }
}

DisplaySize EngineDocument::ShownSize(int page, double zoomX, double zoomY, double dpiX,
                                      double dpiY) const {
    const RenderGeometry geometry =
        ComputeGeometry(Info(page), QuarterTurns(page), zoomX, zoomY, dpiX, dpiY);
    return {geometry.shownWidth, geometry.shownHeight};
}

RenderedImage EngineDocument::Render(int page, double zoomX, double zoomY, double dpiX, double dpiY,
                                     PixelRect region) const {
    CheckFactor(zoomX, "zoom");
    CheckFactor(zoomY, "zoom");
    CheckFactor(dpiX, "screen resolution");
    CheckFactor(dpiY, "screen resolution");
    return impl_->RenderPage(
        *this, page, ComputeGeometry(Info(page), QuarterTurns(page), zoomX, zoomY, dpiX, dpiY),
        region);
}

DisplaySize EngineDocument::ScaledSize(int page, double scale) const {
    const RenderGeometry geometry = ScaleGeometry(Info(page), QuarterTurns(page), scale);
    return {geometry.shownWidth, geometry.shownHeight};
}

RenderedImage EngineDocument::RenderAtScale(int page, double scale, PixelRect region) const {
    CheckFactor(scale, "scale");
    return impl_->RenderPage(*this, page, ScaleGeometry(Info(page), QuarterTurns(page), scale),
                             region);
}

void EngineDocument::SetChangeListener(std::function<void(int page)> listener) {
    impl_->listener = std::move(listener);
}

size_t EngineDocument::CacheBytes() const {
    std::lock_guard lock(impl_->cacheMutex);
    return impl_->cache.Bytes();
}

size_t EngineDocument::CacheBudget() const {
    std::lock_guard lock(impl_->cacheMutex);
    return impl_->cache.Budget();
}

void EngineDocument::SetCacheBudget(size_t bytes) {
    std::lock_guard lock(impl_->cacheMutex);
    impl_->cache.SetBudget(bytes);
}

void EngineDocument::SetDecodeLimit(size_t bytes) {
    std::lock_guard lock(impl_->mutex);
    impl_->decodeLimit = bytes;
}

}  // namespace folio::engine
