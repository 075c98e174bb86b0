// Frame times of the viewer widget, offscreen: scrolling a 500-page 300-dpi document at
// fit width, and zoom steps on a 300-dpi page. A frame is one full paint of the view.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/document/engine_document.h"
#include "engine/widget/document_view.h"
#include "support/test_document.h"

namespace {

constexpr int kPages = 500;
const QSize kViewSize(1000, 800);

// The 500-page document, written once per run into the temporary folder.
const std::string& LongDocument() {
    static const std::string path = [] {
        const auto file =
            std::filesystem::temp_directory_path() /
            ("foliolens-bench-" + std::to_string(QCoreApplication::applicationPid()) + ".tif");
        folio::viewer::testing::WriteTextDocument(file.string(), kPages, 2550, 3300, 300.0);
        return file.string();
    }();
    return path;
}

struct BenchView {
    folio::viewer::DocumentView view;
    QImage frame{kViewSize, QImage::Format_RGB32};

    explicit BenchView(const std::string& path) {
        auto document = std::make_shared<folio::engine::EngineDocument>();
        document->Open(path);
        view.resize(kViewSize);
        view.show();
        QApplication::processEvents();
        view.Show(document);
    }

    void Paint() {
        view.viewport()->render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
};

void BM_ScrollFitWidthCached(benchmark::State& state) {
    BenchView bench(LongDocument());
    bench.view.SetFitMode(folio::imaging::kFitWidth);
    QScrollBar* bar = bench.view.verticalScrollBar();
    const int span = bench.view.PageRect(2).bottom();  // three pages, back and forth
    const int step = 60;
    for (int y = 0; y <= span; y += step) {  // warm the caches
        bar->setValue(y);
        bench.Paint();
    }
    int y = 0;
    int direction = step;
    for (auto _ : state) {
        if (y + direction > span || y + direction < 0) {
            direction = -direction;
        }
        y += direction;
        bar->setValue(y);
        bench.Paint();
    }
    state.counters["tiles"] = static_cast<double>(bench.view.Tiles().size());
}
BENCHMARK(BM_ScrollFitWidthCached)->Unit(benchmark::kMillisecond)->UseRealTime();

// Scrolling forward through pages never shown before (until the run wraps around), by
// a brisk wheel step (120 pixels) or by Page Down (argument 0): the cost of a page's
// first appearance, decoding included.
void BM_ScrollFitWidthFirstVisit(benchmark::State& state) {
    BenchView bench(LongDocument());
    bench.view.SetFitMode(folio::imaging::kFitWidth);
    QScrollBar* bar = bench.view.verticalScrollBar();
    const int step = state.range(0) > 0 ? static_cast<int>(state.range(0)) : bar->pageStep();
    for (auto _ : state) {
        const int next = bar->value() + step;
        bar->setValue(next > bar->maximum() ? 0 : next);
        bench.Paint();
    }
    state.counters["page"] = bench.view.PageNum();
}
BENCHMARK(BM_ScrollFitWidthFirstVisit)
    ->Arg(120)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Zoom steps between factors never shown before: every frame renders afresh from the
// decoded page.
void BM_ZoomStepNewFactor(benchmark::State& state) {
    BenchView bench(LongDocument());
    bench.Paint();
    int64_t i = 0;
    for (auto _ : state) {
        double factor = (i % 2 == 0 ? 1.3 : 1.0) * (1.0 + 1e-9 * static_cast<double>(i));
        double second = factor;
        bench.view.SetZoom(factor, second);
        bench.Paint();
        ++i;
    }
}
BENCHMARK(BM_ZoomStepNewFactor)->Unit(benchmark::kMillisecond)->UseRealTime();

// Zoom in and out between two factors already shown: tiles come from the cache.
void BM_ZoomStepCached(benchmark::State& state) {
    BenchView bench(LongDocument());
    double in = 1.3;
    double out = 1.0;
    for (int i = 0; i < 2; ++i) {
        bench.view.SetZoom(in, in);
        bench.Paint();
        bench.view.SetZoom(out, out);
        bench.Paint();
    }
    int64_t i = 0;
    for (auto _ : state) {
        double factor = i % 2 == 0 ? 1.3 : 1.0;
        double second = factor;
        bench.view.SetZoom(factor, second);
        bench.Paint();
        ++i;
    }
}
BENCHMARK(BM_ZoomStepCached)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove(LongDocument(), ignored);
    return 0;
}
