#include "engine/page_encode_pipeline.h"

#include <algorithm>
#include <utility>

#include "engine/raster_rotation.h"

namespace folio::engine {

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
