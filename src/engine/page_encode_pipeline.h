#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/raster.h"
#include "engine/tiff_page_encoder.h"

namespace folio::engine {

// Turns and compresses decoded pages on worker threads, so that compressing one
// page overlaps with decoding the next and with compressing others. The caller
// decodes (on its own thread, the only one that touches the document) and takes
// the results back in any order it likes, normally page order.
class PageEncodePipeline {
  public:
    explicit PageEncodePipeline(unsigned workers);
    // Drops queued work and waits for the workers.
    ~PageEncodePipeline();
    PageEncodePipeline(const PageEncodePipeline&) = delete;
    PageEncodePipeline& operator=(const PageEncodePipeline&) = delete;

    // Queues `page` (zero-based): turned clockwise by `turns` quarter turns, then
    // compressed.
    void Submit(int page, std::shared_ptr<const Raster> decoded, int turns,
                PageResolution resolution);
    // Waits for a submitted page; rethrows the error its work raised.
    EncodedPage Take(int page);

    // A worker count fit for this machine.
    static unsigned DefaultWorkers();

  private:
    struct Job {
        int page = 0;
        std::shared_ptr<const Raster> decoded;
        int turns = 0;
        PageResolution resolution;
    };
    struct Result {
        EncodedPage encoded;
        std::exception_ptr error;
    };

    void Work();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    std::map<int, Result> done_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace folio::engine
