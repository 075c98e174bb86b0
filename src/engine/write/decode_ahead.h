#pragma once

// The writers' decode-ahead stage: pages decoded ahead of the one being written and
// finished (turned, compressed) on worker threads meanwhile, within a budget of
// decoded bytes.

#include <algorithm>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "engine/tiff/page_directory.h"
#include "engine/work/executor.h"

namespace folio::engine {

// Decoded bytes the writers keep in flight at most, beside the page being written
// when that page alone is larger.
inline constexpr uint64_t kDecodeAheadBytes = uint64_t{256} << 20;

// The threads that finish pages: the executor's workers, and the writer's own
// while it waits for a page.
inline unsigned DecodeAheadWorkers() {
    return Executor::Shared().Workers() + 1;
}

// Pages are started in order on the calling thread (decoding touches the document,
// which only that thread may) and finished on the executor's workers, or on the
// calling thread while it waits for them; the writer takes them back in page order. A page counts
// its decoded bytes from its start until it is taken. Pages are started ahead while they fit the
// budget beside those in flight, so many small pages go side by side; the page asked for is always
// started, so a page larger than the budget is decoded alone, with nothing else in flight. (Alone
// but for pages already started ahead of it when it is one planned as a copy and asked for after
// all: those fit the budget.)
template <class Finished>
class DecodeAhead {
  public:
    // What finishes a started page, on a worker.
    using Finish = std::function<Finished()>;
    // What starting a page gave: the page finished already (one passed through as
    // stored, which a worker would only slow down), or the work that finishes it.
    struct Started {
        std::optional<Finished> ready;
        Finish finish;
    };
    // Starts a page on the calling thread: decodes it and says how to finish it.
    using Start = std::function<Started(int page)>;

    struct Page {
        uint64_t bytes = 0;  // decoded, as the page's directory says
        bool ahead = true;   // false: started only when asked for (a page copied as stored)
    };

    // Pages are started at most twice `workers` ahead of the one being taken.
    // Destroying the stage drops the work not begun and waits for what has.
    DecodeAhead(std::vector<Page> pages, Start start, uint64_t budget = kDecodeAheadBytes,
                unsigned workers = DecodeAheadWorkers())
        : pages_(std::move(pages)),
          start_(std::move(start)),
          budget_(budget),
          workers_(std::max(1u, workers)) {}

    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // Page `page` finished, once the pages after it are started as far as allowed.
    // Rethrows what starting or finishing it raised. Pages are taken in order;
    // pages skipped over (copied) are never started.
    Finished Take(int page) {
        if (started_.count(page) == 0) {
            // The next page in order (those passed over are copied, never started),
            // or one planned as a copy that could not be copied after all.
            Begin(page);
            next_ = std::max(next_, page + 1);
        }
        // Ahead as far as the budget allows; further than the workers can take up
        // would only delay the page being written.
        while (next_ < Count() && next_ - page <= static_cast<int>(2 * workers_)) {
            const Page& p = pages_[Index(next_)];
            if (p.ahead) {
                if (inFlight_ + p.bytes > budget_) {
                    break;
                }
                Begin(next_);
            }
            ++next_;
        }
        inFlight_ -= started_[page];
        started_.erase(page);
        finishing_.WaitUntil([&] {
            std::lock_guard lock(mutex_);
            return done_.count(page) != 0;
        });
        std::unique_lock lock(mutex_);
        Result result = std::move(done_[page]);
        done_.erase(page);
        lock.unlock();
        if (result.error) {
            std::rethrow_exception(result.error);
        }
        return std::move(*result.finished);
    }

  private:
    struct Result {
        std::optional<Finished> finished;
        std::exception_ptr error;
    };

    int Count() const { return static_cast<int>(pages_.size()); }
    static size_t Index(int page) { return static_cast<size_t>(page); }

    void Begin(int page) {
        Started started;
        try {
            started = start_(page);
        } catch (...) {
            Store(page, Result{std::nullopt, std::current_exception()});
            started_[page] = 0;
            return;
        }
        const uint64_t bytes = pages_[Index(page)].bytes;
        started_[page] = bytes;
        inFlight_ += bytes;
        if (started.ready) {
            Store(page, Result{std::move(started.ready), nullptr});
            return;
        }
        finishing_.Run([this, page, finish = std::move(started.finish)]() mutable {
            Result result;
            try {
                result.finished.emplace(finish());
            } catch (...) {
                result.error = std::current_exception();
            }
            finish = nullptr;  // lets go of the decoded pixels it holds
            Store(page, std::move(result));
        });
    }

    void Store(int page, Result result) {
        std::lock_guard lock(mutex_);
        done_[page] = std::move(result);
    }

    const std::vector<Page> pages_;
    const Start start_;
    const uint64_t budget_;
    const unsigned workers_;
    // The calling thread's own: pages started and not yet taken, with their bytes.
    int next_ = 0;
    uint64_t inFlight_ = 0;
    std::map<int, uint64_t> started_;
    // Shared with the tasks that finish pages.
    std::mutex mutex_;
    std::map<int, Result> done_;
    TaskGroup finishing_;  // last: its tasks use the members above
};

}  // namespace folio::engine
