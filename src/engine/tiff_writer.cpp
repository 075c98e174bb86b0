// Export to TIFF: every page, as turned, copied or encoded on worker threads, into
// a file written atomically.

#include "engine/tiff_writer.h"

#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "common/error.h"
#include "common/error_numbers.h"
#include "engine/page_source.h"
#include "engine/raster_transforms.h"
#include "engine/tiff_io.h"
#include "engine/tiff_output.h"
#include "engine/tiff_pages.h"

namespace folio::engine {

namespace {

// Classic TIFF addresses 4 GiB; past this estimate the output is written as BigTIFF.
constexpr uint64_t kClassicLimit = uint64_t{0xF0000000};
// Decoded pixels queued for compression at most (beyond the page being waited for).
constexpr uint64_t kQueuedBytes = uint64_t{256} << 20;

struct PagePlan {
    bool copy = false;
    // Left out: known before writing that it cannot be decoded or reached.
    bool skip = false;
    int turns = 0;
    uint64_t decodedBytes = 0;
};

std::string PageName(int page) {
    return "page " + std::to_string(page + 1);
}

class ExportFailure {
  public:
    explicit ExportFailure(const std::string& target)
        : prefix_("Cannot export to \"" + target + "\": ") {}

    [[noreturn]] void Raise(int32_t number, const std::string& reason) const {
        throw Error(number, prefix_ + reason);
    }
    // A libtiff call failed while writing: says which page and libtiff's reason,
    // and tells a full disk from other failures.
    [[noreturn]] void RaiseWrite(int page, const std::string& reason, int err) const {
        std::string text = PageName(page) + ": " + reason;
        if (err == ENOSPC || err == EFBIG || err == EDQUOT || err == EIO) {
            text += " (" + std::string(std::strerror(err)) + ")";
        }
        Raise(err == ENOSPC || err == EDQUOT ? errors::kDiskFull : errors::kDeviceIoError, text);
    }

  private:
    std::string prefix_;
};

uint64_t DecodedBytes(const PageInfo& info) {
    return (uint64_t{info.width} * info.bitsPerSample * info.samplesPerPixel + 7) / 8 * info.height;
}

// Which pages to copy and which to decode, and whether the output needs BigTIFF;
// fails before anything is written when a page can be neither copied nor decoded,
// unless such pages are to be left out (listed in `skipped`).
std::vector<PagePlan> Plan(const PageSource& source, const TiffSourceFile& file,
                           const ExportFailure& failure, uint64_t& estimate,
                           std::vector<SkippedPage>* skipped) {
    const int count = source.PageCount();
    std::vector<PagePlan> plan(static_cast<size_t>(count));
    // Copied pages together take no more than the whole source file.
    estimate = file.FileSize();
    for (int page = 0; page < count; ++page) {
        PagePlan& p = plan[static_cast<size_t>(page)];
        const PageInfo info = source.Info(page);
        p.turns = NormalQuarterTurns(source.QuarterTurns(page));
        p.decodedBytes = DecodedBytes(info);
        // Why the page can be neither copied nor decoded, and the error that says so.
        std::string reason;
        int32_t number = errors::kDamagedFile;
        if (!info.chainBreak.empty()) {
            reason = ChainBreakText(PageName(page), info);
        } else {
            p.copy = file.IsOpen() && MayCopyUnchanged(info, p.turns);
            if (p.copy) {
                continue;
            }
            if (!info.decodable) {
                reason = PageName(page) + " uses compression " + info.compressionName + " (" +
                         std::to_string(info.compression) + "), which cannot be decoded";
                number = errors::kUnsupportedCompression;
            }
        }
        if (!reason.empty()) {
            if (skipped == nullptr) {
                failure.Raise(number, reason);
            }
            p.skip = true;
            skipped->push_back({&source, page, reason});
            continue;
        }
        // G4 can come out larger than the raw bits on noise; other codecs barely grow.
        estimate +=
            (info.IsBilevel() ? p.decodedBytes * 2 : p.decodedBytes + p.decodedBytes / 64) + 4096;
    }
    return plan;
}

// Decodes pages ahead of the one being written, on the calling thread, and hands
// them to the pipeline to be turned and compressed meanwhile.
class DecodeAhead {
  public:
    DecodeAhead(const PageSource& source, const std::vector<PagePlan>& plan)
        : source_(source), plan_(plan), workers_(PageEncodePipeline::DefaultWorkers()) {}

    // The page compressed, once the pages after it are queued as far as allowed.
    // Raises the page's own folio::Error (not yet naming the target) when it cannot
    // be decoded or compressed: a page decoded ahead fails at its own turn.
    EncodedPage Take(int page) {
        const int count = static_cast<int>(plan_.size());
        while (next_ < count && (next_ <= page || (next_ - page <= static_cast<int>(workers_) &&
                                                   queuedBytes_ < kQueuedBytes))) {
            const PagePlan& ahead = plan_[static_cast<size_t>(next_)];
            if (!ahead.copy && !ahead.skip) {
                Submit(next_);
            }
            ++next_;
        }
        // A page planned as a copy whose data turned out not to allow it.
        if (plan_[static_cast<size_t>(page)].copy) {
            Submit(page);
        }
        if (const auto failed = failed_.find(page); failed != failed_.end()) {
            const Error error = failed->second;
            failed_.erase(failed);
            throw error;
        }
        queuedBytes_ -= plan_[static_cast<size_t>(page)].decodedBytes;
        return pipeline_->Take(page);
    }

  private:
    void Submit(int page) {
        const PagePlan& p = plan_[static_cast<size_t>(page)];
        std::shared_ptr<const Raster> decoded;
        try {
            decoded = source_.Decode(page);
        } catch (const Error& e) {
            failed_.emplace(page, e);
            return;
        }
        if (!decoded) {
            failed_.emplace(page,
                            Error(errors::kDamagedFile, PageName(page) + " could not be decoded"));
            return;
        }
        const PageInfo info = source_.Info(page);
        PageResolution resolution{info.xDpi, info.yDpi, info.pixelAspect};
        if (p.turns % 2 == 1) {
            std::swap(resolution.xDpi, resolution.yDpi);
            resolution.pixelAspect = resolution.pixelAspect > 0 ? 1.0 / resolution.pixelAspect : 1;
        }
        queuedBytes_ += p.decodedBytes;
        if (!pipeline_) {
            pipeline_.emplace(workers_);
        }
        pipeline_->Submit(page, std::move(decoded), p.turns, resolution);
    }

    const PageSource& source_;
    const std::vector<PagePlan>& plan_;
    unsigned workers_;
    // Pages that could not be decoded, until their turn comes.
    std::map<int, Error> failed_;
    // Started with the first page that needs compressing.
    std::optional<PageEncodePipeline> pipeline_;
    int next_ = 0;
    uint64_t queuedBytes_ = 0;
};

}  // namespace

void WriteTiff(const PageSource& source, const std::string& targetPath,
               std::vector<SkippedPage>* skipped) {
    const ExportFailure failure(targetPath);
    const int count = source.PageCount();
    if (count <= 0) {
        failure.Raise(errors::kInvalidFileFormat, "the document has no pages");
    }
    TiffSourceFile file(source.OpenFile());
    uint64_t estimate = 0;
    const size_t skippedBefore = skipped != nullptr ? skipped->size() : 0;
    const std::vector<PagePlan> plan = Plan(source, file, failure, estimate, skipped);
    // The pages the file is to hold, as its pages' numbering says; one found
    // damaged only as it is decoded is left out of the file but not of this count.
    const int outputCount =
        count - static_cast<int>(skipped != nullptr ? skipped->size() - skippedBefore : 0);
    int written = 0;

    AtomicFile temp(targetPath);
    TiffMessageLog log;
    TiffOutputFile output(temp.Descriptor(), targetPath, estimate > kClassicLimit, log);
    TIFF* const out = output.Handle();
    if (out == nullptr) {
        failure.Raise(errors::kDeviceIoError, log.Reason("libtiff cannot create the file"));
    }
    DecodeAhead decoded(source, plan);
    ScopedProgress::Report(0, count);
    for (int page = 0; page < count; ++page) {
        if (plan[static_cast<size_t>(page)].skip) {
            ScopedProgress::Report(page + 1, count);
            continue;
        }
        const PagePosition position{written, outputCount};
        bool done = false;
        errno = 0;
        const bool copy = plan[static_cast<size_t>(page)].copy &&
                          file.SelectPage(source.DirectoryOffset(page)) &&
                          CanCopyUnchanged(file.Handle(), source.Info(page), 0, file.FileSize());
        if (copy) {
            done = CopyPageUnchanged(file, output, position);
        } else {
            std::optional<EncodedPage> encoded;
            try {
                encoded = decoded.Take(page);
            } catch (const Error& e) {
                if (skipped == nullptr) {
                    failure.Raise(e.Number(), e.Description());
                }
                skipped->push_back({&source, page, e.Description()});
                ScopedProgress::Report(page + 1, count);
                continue;
            }
            errno = 0;
            done = WriteEncodedPage(out, *encoded, position);
        }
        if (!done) {
            // A write that failed may have been one gathered for earlier pages.
            const int err = output.Error() != 0 ? output.Error() : errno;
            const std::string fromSource = file.TakeError("the page could not be written");
            failure.RaiseWrite(page, log.Reason(fromSource), err);
        }
        output.PageWritten();
        ++written;
        ScopedProgress::Report(page + 1, count);
    }
    if (written == 0) {
        failure.Raise(errors::kDamagedFile, "no page of the document can be decoded");
    }
    errno = 0;
    if (!output.Finish() || !log.FirstError().empty()) {
        failure.RaiseWrite(count - 1, log.Reason("the file could not be finished"), errno);
    }
    try {
        temp.Commit();
    } catch (const Error& e) {
        throw Error(e.Number(), "Cannot export: " + e.Description());
    }
}

PageEncodePipeline::PageEncodePipeline(unsigned workers) {
    for (unsigned i = 0; i < std::max(1u, workers); ++i) {
        workers_.emplace_back([this] { Work(); });
    }
}

PageEncodePipeline::~PageEncodePipeline() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

unsigned PageEncodePipeline::DefaultWorkers() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

void PageEncodePipeline::Submit(int page, std::shared_ptr<const Raster> decoded, int turns,
                                PageResolution resolution) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(Job{page, std::move(decoded), turns, resolution});
    }
    changed_.notify_all();
}

EncodedPage PageEncodePipeline::Take(int page) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return done_.count(page) != 0; });
    Result result = std::move(done_[page]);
    done_.erase(page);
    lock.unlock();
    if (result.error) {
        std::rethrow_exception(result.error);
    }
    return std::move(result.encoded);
}

void PageEncodePipeline::Work() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_) {
                return;
            }
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        Result result;
        try {
            if (job.turns % 4 == 0) {
                result.encoded = EncodePage(*job.decoded, job.resolution, job.page);
            } else {
                const Raster turned = RotateRaster(*job.decoded, job.turns);
                job.decoded.reset();
                result.encoded = EncodePage(turned, job.resolution, job.page);
            }
        } catch (...) {
            result.error = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            done_[job.page] = std::move(result);
        }
        changed_.notify_all();
    }
}

}  // namespace folio::engine
