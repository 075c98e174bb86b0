// Keeping and scheduling work: decoded pages held within a byte budget, and the
// queue that renders tiles on the executor's workers.

#include "engine/render/page_cache.h"

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

RenderQueue::RenderQueue(Executor& executor) : most_(executor.Workers()), runnerGroup_(executor) {
    // Below the user-interface thread, so rendering never takes its turn on a busy
    // machine.
    executor.RunBelowNormalPriority();
}

RenderQueue::~RenderQueue() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    urgent_.clear();
    whenIdle_.clear();
    // The runners not started are dropped, and those running waited for, as the
    // group goes.
}

void RenderQueue::Submit(uint64_t id, Task task, bool whenIdle) {
    std::lock_guard lock(mutex_);
    (whenIdle ? whenIdle_ : urgent_).push_front({id, std::move(task)});
    StartRunners();
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
    NotifyIfIdle();
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
    std::lock_guard lock(mutex_);
    held_ = held;
    StartRunners();
    idle_.notify_all();
}

void RenderQueue::StartRunners() {
    const size_t queued = urgent_.size() + whenIdle_.size();
    // One runner per request at most, and no more than may run at once.
    while (!held_ && !stopping_ && runners_ < most_ && runners_ - running_ < queued) {
        runnerGroup_.Run([this] { RunNext(); });
        ++runners_;
    }
}

void RenderQueue::NotifyIfIdle() {
    if (running_ == 0 && urgent_.empty() && whenIdle_.empty()) {
        idle_.notify_all();
    }
}

void RenderQueue::RunNext() {
    std::unique_lock lock(mutex_);
    if (held_ || stopping_ || (urgent_.empty() && whenIdle_.empty())) {
        --runners_;
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
    --runners_;
    // The next request gets a runner of its own, behind the executor's other work.
    StartRunners();
    NotifyIfIdle();
}

}  // namespace folio::engine
