#pragma once

// Keeping and scheduling work: decoded pages held within a byte budget, and the
// queue that renders tiles on the executor's workers.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "engine/image/raster.h"
#include "engine/work/executor.h"

namespace folio::engine {

// Decoded pages, least recently used first out, within a byte budget counted in
// the rasters' own bytes. A page larger than the whole budget is kept alone (the
// others are let go), so that showing it does not decode it again for every
// part of it drawn; the next page put in lets go of it. Not thread-safe by itself.
class PageCache {
  public:
    explicit PageCache(size_t budgetBytes) : budget_(budgetBytes) {}

    // The page if held (and marks it most recently used), or null.
    std::shared_ptr<const Raster> Find(int page);
    void Put(int page, std::shared_ptr<const Raster> raster);
    void Clear();
    // Lets go of the least recently used pages until the rest fits the new budget.
    void SetBudget(size_t budgetBytes);

    size_t Bytes() const { return bytes_; }
    size_t Budget() const { return budget_; }

  private:
    // Lets go of the least recently used pages until at most `bytes` are held or only
    // `keep` pages are left.
    void EvictTo(size_t bytes, size_t keep);

    struct Entry {
        int page;
        std::shared_ptr<const Raster> raster;
    };

    size_t budget_;
    size_t bytes_ = 0;
    std::list<Entry> order_;  // most recently used first
    std::unordered_map<int, std::list<Entry>::iterator> entries_;
};

// Runs rendering work off the caller's thread, on an executor's workers, which run
// below the priority of the user-interface thread from then on: the newest request
// first, requests no longer wanted dropped before they start, and work marked for
// idle time (reading ahead) only when nothing else waits. As many requests run at
// once as the executor has workers. Each request carries the caller's id so it can
// be dropped; a task delivers its own result (it runs on a worker thread).
class RenderQueue {
  public:
    using Task = std::function<void()>;

    explicit RenderQueue(Executor& executor = Executor::Shared());
    // Drops what has not started and waits for what has.
    ~RenderQueue();
    RenderQueue(const RenderQueue&) = delete;
    RenderQueue& operator=(const RenderQueue&) = delete;

    // Queued before everything submitted earlier; `whenIdle` work waits until nothing
    // else is queued.
    void Submit(uint64_t id, Task task, bool whenIdle = false);
    // Drops the queued requests `keep` says no to, and returns their ids.
    std::vector<uint64_t> Retain(const std::function<bool(uint64_t id)>& keep);
    // Drops every queued request.
    void DropAll();
    // Requests queued, not started.
    size_t Queued() const;
    // Until nothing is queued or running.
    void WaitIdle();
    // While held, no new request starts (running ones finish); for tests that must see
    // requests queued.
    void Hold(bool held);

  private:
    struct Request {
        uint64_t id;
        Task task;
    };

    // Hands the executor a runner for each request that may start now; with mutex_.
    void StartRunners();
    // A runner: starts the request first in line, if any may start.
    void RunNext();
    void NotifyIfIdle();

    const unsigned most_;  // requests running at once
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::deque<Request> urgent_;  // newest at the front
    std::deque<Request> whenIdle_;
    unsigned runners_ = 0;  // handed to the executor, not ended
    unsigned running_ = 0;  // of those, running a request
    bool held_ = false;
    bool stopping_ = false;
    TaskGroup runnerGroup_;  // last: its tasks use the members above
};

}  // namespace folio::engine
