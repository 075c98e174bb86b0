// The render queue's order, dropping and priority, and a document rendered on several threads
// while its owner turns pages, changes the cache budget and closes it.
#include "engine/render/page_cache.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "common/error.h"
#include "engine/document/engine_document.h"
#include "support/temp_dir.h"
#include "support/tiff_fixture.h"

namespace folio::engine {
namespace {

int ThreadNiceValue() {
    return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
}

TEST(RenderQueueTest, NewestFirstIdleWorkLastDroppedNeverRuns) {
    Executor one(1);
    RenderQueue queue(one);
    std::mutex mutex;
    std::vector<uint64_t> ran;
    std::vector<int> niceValues;
    const auto record = [&](uint64_t id) {
        return [&, id] {
            std::lock_guard lock(mutex);
            ran.push_back(id);
            niceValues.push_back(ThreadNiceValue());
        };
    };
    queue.Hold(true);
    queue.Submit(9, record(9), true);
    for (uint64_t id = 1; id <= 4; ++id) {
        queue.Submit(id, record(id));
    }
    EXPECT_EQ(queue.Retain([](uint64_t id) { return id != 2; }), std::vector<uint64_t>{2});
    EXPECT_EQ(queue.Queued(), 4u);
    queue.Hold(false);
    queue.WaitIdle();
    EXPECT_EQ(ran, (std::vector<uint64_t>{4, 3, 1, 9}));
    // On a worker below this thread's priority, this thread's left alone.
    const int own = ThreadNiceValue();
    EXPECT_TRUE(std::ranges::all_of(niceValues, [&](int nice) { return nice > own; }))
        << "this thread at nice " << own;

    // Dropped, or still queued when the queue goes: never run.
    {
        Executor two(2);
        RenderQueue closing(two);
        closing.Hold(true);
        closing.Submit(5, record(5));
        closing.DropAll();
        closing.Submit(6, record(6));
    }
    EXPECT_EQ(ran.size(), 4u);
}

TEST(RenderQueueTest, RendersOnWorkersWhileTheOwnerTurnsAndCloses) {
    testing::TempDir dir;
    const std::string path = dir.File("pages.tif");
    std::vector<testing::TestPage> pages;
    for (int i = 0; i < 4; ++i) {
        pages.push_back(testing::GrayPage(300, 200, 8));
        pages.back().pixels = testing::PatternPixels(pages.back(), static_cast<uint32_t>(i + 1));
    }
    testing::WriteTiffFile(path, pages);
    auto document = std::make_shared<EngineDocument>();
    document->Open(path);
    const PixelRect region{10, 20, 120, 90};
    std::vector<RenderedImage> expected;
    for (int page = 0; page < 4; ++page) {
        expected.push_back(document->Render(page, 0.7, 0.7, 96.0, 96.0, region));
    }

    // The same tiles on three workers, with a cache too small for two pages: each
    // comes out as rendered alone.
    document->SetCacheBudget(1);
    std::atomic<int> same{0};
    Executor three(3);
    {
        RenderQueue queue(three);
        for (int i = 0; i < 24; ++i) {
            queue.Submit(static_cast<uint64_t>(i), [&, page = i % 4] {
                const RenderedImage image = document->Render(page, 0.7, 0.7, 96.0, 96.0, region);
                same += image.pixels == expected[static_cast<size_t>(page)].pixels ? 1 : 0;
            });
        }
        queue.WaitIdle();
    }
    EXPECT_EQ(same.load(), 24);

    // Turned, resized and finally closed while workers render: every render either
    // gives a picture of the page's size as turned then, or says the document is
    // closed.
    std::atomic<int> rendered{0};
    std::atomic<int> refused{0};
    {
        RenderQueue queue(three);
        for (int i = 0; i < 60; ++i) {
            queue.Submit(static_cast<uint64_t>(i), [&, page = i % 4] {
                try {
                    const RenderedImage image =
                        document->Render(page, 0.5, 0.5, 96.0, 96.0, PixelRect{0, 0, 100, 100});
                    rendered += image.width == 100 && image.height == 100 ? 1 : 0;
                } catch (const Error&) {
                    ++refused;
                }
            });
        }
        for (int turn = 0; turn < 20; ++turn) {
            document->RotatePage(turn % 4, 90);
            document->SetCacheBudget(turn % 2 == 0 ? 1 : size_t{64} << 20);
            std::this_thread::yield();
        }
        document->Close();
        queue.WaitIdle();
    }
    EXPECT_EQ(rendered.load() + refused.load(), 60);
    EXPECT_THROW(document->Render(0, 1.0, 1.0, 96.0, 96.0, region), Error);
}

}  // namespace
}  // namespace folio::engine
