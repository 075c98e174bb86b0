// Keeping and scheduling work: decoded pages held within a byte budget, and the
// queue that renders tiles on worker threads.

#include "engine/render/page_cache.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

namespace folio::engine {

std::shared_ptr<const Raster> PageCache::Find(int page) {
    const auto found = entries_.find(page);
    if (found == entries_.end()) {
        return nullptr;
    }
    order_.splice(order_.begin(), order_, found->second);
    return found->second->raster;
}

void PageCache::Put(int page, std::shared_ptr<const Raster> raster) {
    if (!raster) {
        return;
    }
    if (const auto found = entries_.find(page); found != entries_.end()) {
        bytes_ -= found->second->raster->ByteSize();
        order_.erase(found->second);
        entries_.erase(found);
    }
    const size_t size = raster->ByteSize();
    // (A page over the budget is alone, so this also lets go of it.)
    EvictTo(size <= budget_ ? budget_ - size : 0, 0);
    order_.push_front({page, std::move(raster)});
    entries_[page] = order_.begin();
    bytes_ += size;
}

void PageCache::SetBudget(size_t budgetBytes) {
    budget_ = budgetBytes;
    EvictTo(budget_, 1);  // the page used last is likely on screen
}

void PageCache::EvictTo(size_t bytes, size_t keep) {
    while (bytes_ > bytes && order_.size() > keep) {
        bytes_ -= order_.back().raster->ByteSize();
        entries_.erase(order_.back().page);
        order_.pop_back();
    }
}

void PageCache::Clear() {
    order_.clear();
    entries_.clear();
    bytes_ = 0;
}

int RenderQueue::DefaultWorkers() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()) - 1);
}

RenderQueue::RenderQueue(int workers) {
    for (int i = 0; i < std::max(1, workers); ++i) {
        workers_.emplace_back([this] { Work(); });
    }
}

RenderQueue::~RenderQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        urgent_.clear();
        whenIdle_.clear();
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void RenderQueue::Submit(uint64_t id, Task task, bool whenIdle) {
    {
        std::lock_guard lock(mutex_);
        (whenIdle ? whenIdle_ : urgent_).push_front({id, std::move(task)});
    }
    wake_.notify_one();
}

std::vector<uint64_t> RenderQueue::Retain(const std::function<bool(uint64_t)>& keep) {
    std::vector<uint64_t> dropped;
    std::lock_guard lock(mutex_);
    for (auto* queue : {&urgent_, &whenIdle_}) {
        const auto end = std::stable_partition(queue->begin(), queue->end(),
                                               [&](const Request& r) { return keep(r.id); });
        for (auto it = end; it != queue->end(); ++it) {
            dropped.push_back(it->id);
        }
        queue->erase(end, queue->end());
    }
    if (urgent_.empty() && whenIdle_.empty() && running_ == 0) {
        idle_.notify_all();
    }
    return dropped;
}

void RenderQueue::DropAll() {
    Retain([](uint64_t) { return false; });
}

size_t RenderQueue::Queued() const {
    std::lock_guard lock(mutex_);
    return urgent_.size() + whenIdle_.size();
}

void RenderQueue::WaitIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] {
        return running_ == 0 && (held_ || (urgent_.empty() && whenIdle_.empty()));
    });
}

void RenderQueue::Hold(bool held) {
    {
        std::lock_guard lock(mutex_);
        held_ = held;
    }
    wake_.notify_all();
    idle_.notify_all();
}

void RenderQueue::Work() {
    // Below the user-interface thread, so rendering never takes its turn on a busy
    // machine (a failure leaves the normal priority, which is only slower to yield).
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] {
            return stopping_ || (!held_ && (!urgent_.empty() || !whenIdle_.empty()));
        });
        if (stopping_) {
            return;
        }
        auto& queue = urgent_.empty() ? whenIdle_ : urgent_;
        Task task = std::move(queue.front().task);
        queue.pop_front();
        ++running_;
        lock.unlock();
        try {
            task();
        } catch (...) {
            // A task delivers its own failures; one that escapes is not the queue's to
            // report and must not end the program.
        }
        task = nullptr;  // what it holds goes before the queue counts it done
        lock.lock();
        --running_;
        if (running_ == 0 && urgent_.empty() && whenIdle_.empty()) {
            idle_.notify_all();
        }
    }
}

}  // namespace folio::engine
