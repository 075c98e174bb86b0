#pragma once

// Export to TIFF: every page, as turned, copied or encoded on worker threads, into
// a file written atomically.

#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/page_source.h"
#include "engine/raster.h"
#include "engine/tiff_pages.h"

namespace folio::engine {

// Writes every page of `source`, as currently turned, to a multi-page TIFF at
// `targetPath` (UTF-8). Bilevel pages become CCITT G4, others are written
// losslessly in their own depth and colour model; a page that needs no change is
// copied without decoding. Writes beside the target and renames into place: on any
// failure folio::Error is raised, the target is untouched and no stray file remains.
// Given `skipped`, pages that cannot be decoded or reached are left out instead of
// failing the export, each listed there; the file then needs one page written.
void WriteTiff(const PageSource& source, const std::string& targetPath,
               std::vector<SkippedPage>* skipped = nullptr);

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
