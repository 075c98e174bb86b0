// The one pool of threads every piece of engine work runs on.

#include "engine/work/executor.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "sys/threads.h"

namespace folio::engine {

unsigned Executor::DefaultWorkers() {
    const unsigned cores = std::thread::hardware_concurrency();  // 0 when unknown
    return cores > 1 ? cores - 1 : 1;
}

Executor& Executor::Shared() {
    static Executor shared;
    return shared;
}

Executor::Executor(unsigned workers) : workers_(std::max(1u, workers)) {}

Executor::~Executor() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void Executor::Post(TaskGroup& group, std::function<void()> run) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(Task{&group, std::move(run)});
        ++group.pending_;
        // A worker more while there is queued work no idle one will take.
        if (threads_.size() < workers_ && queue_.size() > idle_) {
            try {
                threads_.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                // None to be had: the task waits for a worker or for a thread that
                // waits for its group.
            }
        }
    }
    wake_.notify_one();
}

bool Executor::RunOneOf(TaskGroup& group, std::unique_lock<std::mutex>& lock) {
    const auto found = std::find_if(queue_.begin(), queue_.end(),
                                    [&](const Task& task) { return task.group == &group; });
    if (found == queue_.end()) {
        return false;
    }
    Task task = std::move(*found);
    queue_.erase(found);
    Execute(std::move(task), lock);
    return true;
}

std::vector<Executor::Task> Executor::Drop(TaskGroup& group) {
    std::vector<Task> dropped;
    const auto kept = std::stable_partition(queue_.begin(), queue_.end(),
                                            [&](const Task& task) { return task.group != &group; });
    std::move(kept, queue_.end(), std::back_inserter(dropped));
    queue_.erase(kept, queue_.end());
    group.pending_ -= dropped.size();
    return dropped;
}

void Executor::Execute(Task task, std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    std::exception_ptr error;
    try {
        task.run();
    } catch (...) {
        error = std::current_exception();
    }
    task.run = nullptr;  // what it holds goes before the group counts it ended
    lock.lock();
    TaskGroup& group = *task.group;
    if (error && !group.error_) {
        group.error_ = std::move(error);
    }
    --group.pending_;
    ++group.ended_;
    // Under the lock: a waiter may destroy the group as soon as it is released.
    group.finished_.notify_all();
}

void Executor::Work() {
    bool lowered = false;
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        --idle_;
        if (stopping_) {
            return;
        }
        Task task = std::move(queue_.front());
        queue_.pop_front();
        if (!lowered && lowered_) {
            lock.unlock();
            sys::LowerThreadPriority();
            lowered = true;
            lock.lock();
        }
        Execute(std::move(task), lock);
    }
}

TaskGroup::~TaskGroup() {
    std::unique_lock lock(executor_.mutex_);
    std::vector<Executor::Task> dropped = executor_.Drop(*this);
    finished_.wait(lock, [this] { return pending_ == 0; });
    lock.unlock();
    dropped.clear();  // what they hold goes without the lock
}

void TaskGroup::Wait() {
    std::unique_lock lock(executor_.mutex_);
    while (pending_ > 0) {
        if (!executor_.RunOneOf(*this, lock)) {
            const uint64_t ended = ended_;
            finished_.wait(lock, [&] { return ended_ != ended; });
        }
    }
    if (std::exception_ptr error = std::exchange(error_, nullptr)) {
        lock.unlock();
        std::rethrow_exception(error);
    }
}

}  // namespace folio::engine
