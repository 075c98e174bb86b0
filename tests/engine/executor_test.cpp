// The executor: work handed out from inside its tasks, errors, and groups that go
// with work still queued.
#include "engine/work/executor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

namespace folio::engine {
namespace {

using std::chrono::milliseconds;

// Every worker waiting for tasks of its own, queued behind tasks of others: only
// a waiter that runs its own can go on. Neither the waits nor the nesting may
// bring in a thread beyond the workers and the one that waits.
TEST(ExecutorTest, NestedWorkNeitherDeadlocksNorExceedsTheWorkers) {
    Executor pool(2);
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::atomic<int> running{0};
    std::atomic<int> mostRunning{0};
    std::atomic<int> ran{0};
    TaskGroup files(pool);
    for (int file = 0; file < 4; ++file) {
        files.Run([&] {
            TaskGroup pages(pool);
            for (int page = 0; page < 8; ++page) {
                pages.Run([&] {
                    {
                        std::lock_guard lock(mutex);
                        threads.insert(std::this_thread::get_id());
                    }
                    const int now = ++running;
                    int most = mostRunning;
                    while (now > most && !mostRunning.compare_exchange_weak(most, now)) {
                    }
                    std::this_thread::sleep_for(milliseconds(1));
                    --running;
                    ++ran;
                });
            }
            pages.Wait();
        });
    }
    files.Wait();
    EXPECT_EQ(ran, 32);
    EXPECT_LE(threads.size(), 3u);
    EXPECT_LE(mostRunning, 3);
}

TEST(ExecutorTest, TheWaiterGetsTheFirstErrorOnceEveryTaskHasEnded) {
    Executor pool(2);
    TaskGroup group(pool);
    std::atomic<int> ended{0};
    for (int i = 0; i < 6; ++i) {
        group.Run([&, i] {
            if (i == 1) {
                throw std::runtime_error("task 1");
            }
            std::this_thread::sleep_for(milliseconds(5));
            ++ended;
        });
    }
    try {
        group.Wait();
        ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "task 1");
        EXPECT_EQ(ended, 5) << "raised before the other tasks had ended";
    }
    // Raised once; the group takes work again.
    group.Run([&] { ++ended; });
    EXPECT_NO_THROW(group.Wait());
    EXPECT_EQ(ended, 6);
}

TEST(ExecutorTest, AGroupGoingDropsItsQueuedTasksAndWaitsForItsRunningOne) {
    Executor pool(1);
    std::atomic<bool> started{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> droppedRan{false};
    {
        TaskGroup first(pool);
        first.Run([&] {
            started = true;
            std::this_thread::sleep_for(milliseconds(50));
            finished = true;
        });
        {
            TaskGroup second(pool);
            second.Run([&] { droppedRan = true; });
            while (!started) {
                std::this_thread::yield();
            }
        }  // its task still waits behind the only worker's
    }      // its task still runs
    EXPECT_TRUE(finished);
    EXPECT_FALSE(droppedRan);
}

}  // namespace
}  // namespace folio::engine
