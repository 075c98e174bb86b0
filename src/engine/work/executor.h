#pragma once

// The one pool of threads every piece of engine work runs on: pages finished
// ahead of the writer, bands of an image, JPEG parts of a page, writes to an
// output file, the viewer's tiles, a batch's files.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace folio::engine {

class TaskGroup;

// A fixed number of worker threads, started as work first needs them and kept
// until the executor goes, running tasks in the order they were handed out. A
// thread that waits for a group of tasks runs the group's tasks not yet started
// itself, so work handed out from inside a task (a file's pages, a page's bands)
// never needs a thread more than the workers and the threads that wait, and
// never waits for a worker that is waiting for it.
class Executor {
  public:
    // One worker per core but one: the thread that hands out the work (which
    // runs some of it while it waits) or the user interface's has that one. At
    // least one.
    static unsigned DefaultWorkers();
    // The process's own, with DefaultWorkers(): all engine work shares it.
    static Executor& Shared();

    explicit Executor(unsigned workers = DefaultWorkers());
    // Waits for the workers to end; every TaskGroup on it must be gone before.
    ~Executor();
    Executor(const Executor&) = delete;
    Executor& operator=(const Executor&) = delete;

    unsigned Workers() const { return workers_; }

    // From now on the workers run below the priority of the threads that hand
    // out work (each lowers its own before its next task), so that a busy pool
    // never takes the user interface's turn. There is no way back: an ordinary
    // process may lower a thread's priority but not raise it again.
    void RunBelowNormalPriority() { lowered_ = true; }

  private:
    friend class TaskGroup;

    struct Task {
        TaskGroup* group = nullptr;
        std::function<void()> run;
    };

    void Post(TaskGroup& group, std::function<void()> run);
    // Takes the first queued task of `group` and runs it on the calling thread;
    // false when none is queued. `lock` holds mutex_, as on return.
    bool RunOneOf(TaskGroup& group, std::unique_lock<std::mutex>& lock);
    // Removes the queued tasks of `group`, to be destroyed without the lock.
    std::vector<Task> Drop(TaskGroup& group);
    // Runs `task` without the lock and counts it ended in its group.
    void Execute(Task task, std::unique_lock<std::mutex>& lock);
    void Work();

    const unsigned workers_;
    std::atomic<bool> lowered_{false};
    // Guards the queue and the counts of every group on this executor.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> queue_;
    size_t idle_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// Tasks handed to an executor and waited for together. Run may be called from
// any thread, tasks of the group included; waiting is for one thread at a time.
class TaskGroup {
  public:
    explicit TaskGroup(Executor& executor = Executor::Shared()) : executor_(executor) {}
    // Drops the tasks not started yet and waits for those running; an error
    // they raise is lost.
    ~TaskGroup();
    TaskGroup(const TaskGroup&) = delete;
    TaskGroup& operator=(const TaskGroup&) = delete;

    Executor& GetExecutor() const { return executor_; }

    // Queues `task` behind the executor's other work.
    void Run(std::function<void()> task) { executor_.Post(*this, std::move(task)); }

    // Until every task run so far has ended, running those not started on this
    // thread; then raises the first error a task raised since the last Wait.
    void Wait();

    // Until done() is true, running the group's tasks not started on this thread
    // meanwhile. done() is asked first and again each time a task of the group
    // ends, without the executor's lock: it must turn true by then.
    template <class Done>
    void WaitUntil(const Done& done) {
        std::unique_lock lock(executor_.mutex_);
        for (;;) {
            const uint64_t ended = ended_;
            lock.unlock();
            if (done()) {
                return;
            }
            lock.lock();
            if (!executor_.RunOneOf(*this, lock)) {
                finished_.wait(lock, [&] { return ended_ != ended; });
            }
        }
    }

  private:
    friend class Executor;

    Executor& executor_;
    // With the executor's mutex.
    std::condition_variable finished_;
    size_t pending_ = 0;  // queued or running
    uint64_t ended_ = 0;  // tasks ended so far: what a waiter watches change
    std::exception_ptr error_;
};

}  // namespace folio::engine
