// Export to TIFF: every page, as turned, copied or encoded on worker threads, into
// a file written atomically.

#include "engine/tiff_writer.h"

#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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
// fails before anything is written when a page can be neither copied nor decoded.
std::vector<PagePlan> Plan(const PageSource& source, const TiffSourceFile& file,
                           const ExportFailure& failure, uint64_t& estimate) {
    const int count = source.PageCount();
    std::vector<PagePlan> plan(static_cast<size_t>(count));
    // Copied pages together take no more than the whole source file.
    estimate = file.FileSize();
    for (int page = 0; page < count; ++page) {
        PagePlan& p = plan[static_cast<size_t>(page)];
        const PageInfo info = source.Info(page);
        p.turns = NormalQuarterTurns(source.QuarterTurns(page));
        p.decodedBytes = DecodedBytes(info);
        p.copy = file.IsOpen() && MayCopyUnchanged(info, p.turns);
        if (p.copy) {
            continue;
        }
        if (!info.decodable) {
            failure.Raise(errors::kUnsupportedCompression,
                          PageName(page) + " cannot be decoded: " + UndecodableText(info));
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
    DecodeAhead(const PageSource& source, const std::vector<PagePlan>& plan,
                const ExportFailure& failure)
        : source_(source),
          plan_(plan),
          failure_(failure),
          workers_(PageEncodePipeline::DefaultWorkers()) {}

    // The page compressed, once the pages after it are queued as far as allowed.
    EncodedPage Take(int page) {
        const int count = static_cast<int>(plan_.size());
        while (next_ < count && (next_ <= page || (next_ - page <= static_cast<int>(workers_) &&
                                                   queuedBytes_ < kQueuedBytes))) {
            if (!plan_[static_cast<size_t>(next_)].copy) {
                Submit(next_);
            }
            ++next_;
        }
        // A page planned as a copy whose data turned out not to allow it.
        if (plan_[static_cast<size_t>(page)].copy) {
            Submit(page);
        }
        queuedBytes_ -= plan_[static_cast<size_t>(page)].decodedBytes;
        try {
            return pipeline_->Take(page);
        } catch (const Error& e) {
            failure_.Raise(e.Number(), e.Description());
        }
    }

  private:
    void Submit(int page) {
        const PagePlan& p = plan_[static_cast<size_t>(page)];
        std::shared_ptr<const Raster> decoded;
        try {
            decoded = source_.Decode(page);
        } catch (const Error& e) {
            failure_.Raise(e.Number(), e.Description());
        }
        if (!decoded) {
            failure_.Raise(errors::kDamagedFile, PageName(page) + " could not be decoded");
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
    const ExportFailure& failure_;
    unsigned workers_;
    // Started with the first page that needs compressing.
    std::optional<PageEncodePipeline> pipeline_;
    int next_ = 0;
    uint64_t queuedBytes_ = 0;
};

}  // namespace

void WriteTiff(const PageSource& source, const std::string& targetPath,
               sys::AtomicFile::Options target) {
    const ExportFailure failure(targetPath);
    const int count = source.PageCount();
    if (count <= 0) {
        failure.Raise(errors::kInvalidFileFormat, "the document has no pages");
    }
    TiffSourceFile file(source.OpenFile());
    uint64_t estimate = 0;
    const std::vector<PagePlan> plan = Plan(source, file, failure, estimate);

    AtomicFile temp(targetPath, target);
    TiffMessageLog log;
    TiffOutputFile output(temp.Descriptor(), targetPath, estimate > kClassicLimit, log);
    TIFF* const out = output.Handle();
    if (out == nullptr) {
        failure.Raise(errors::kDeviceIoError, log.Reason("libtiff cannot create the file"));
    }
    DecodeAhead decoded(source, plan, failure);
    ScopedProgress::Report(0, count);
    for (int page = 0; page < count; ++page) {
        const PagePosition position{page, count};
        bool written = false;
        errno = 0;
        const bool copy = plan[static_cast<size_t>(page)].copy &&
                          file.SelectPage(source.DirectoryOffset(page)) &&
                          CanCopyUnchanged(file.Handle(), source.Info(page), 0, file.FileSize());
        if (copy) {
            written = CopyPageUnchanged(file, output, position);
        } else {
            const EncodedPage encoded = decoded.Take(page);
            errno = 0;
            written = WriteEncodedPage(out, encoded, position);
        }
        if (!written) {
            // A write that failed may have been one gathered for earlier pages.
            const int err = output.Error() != 0 ? output.Error() : errno;
            const std::string fromSource = file.TakeError("the page could not be written");
            failure.RaiseWrite(page, log.Reason(fromSource), err);
        }
        output.PageWritten();
        ScopedProgress::Report(page + 1, count);
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
