// Opening, rendering and exporting with the engine, on documents made at start.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "bench_documents.h"
#include "engine/document/engine_document.h"
#include "engine/write/tiff_writer.h"

namespace folio::bench {
namespace {

// The viewer's window: fit to a width of 1000 pixels, 800 pixels of the page shown.
constexpr int kViewWidth = 1000;
constexpr int kViewHeight = 800;

const std::string& Document(int pages) {
    static std::string paths[2];
    std::string& path = paths[pages == 1000 ? 0 : 1];
    if (path.empty()) {
        path = BenchFolder() + "/g4-" + std::to_string(pages) + ".tif";
        WriteG4Document(path, pages);
    }
    return path;
}

std::unique_ptr<engine::EngineDocument> Open(int pages) {
    auto document = std::make_unique<engine::EngineDocument>();
    document->Open(Document(pages));
    return document;
}

engine::RenderedImage RenderVisible(const engine::EngineDocument& document, int page) {
    const double zoom = kViewWidth / document.ShownSize(page, 1.0, 1.0, 96.0, 96.0).width;
    return document.Render(page, zoom, zoom, 96.0, 96.0, {0, 0, kViewWidth, kViewHeight});
}

void BM_Open1000Pages(benchmark::State& state) {
    Document(1000);
    for (auto _ : state) {
        auto document = Open(1000);
        benchmark::DoNotOptimize(document->PageCount());
    }
}
BENCHMARK(BM_Open1000Pages)->Unit(benchmark::kMillisecond);

// Each iteration renders a page not rendered before: decode, then scale.
void BM_RenderFitWidthCold(benchmark::State& state) {
    auto document = Open(1000);
    int page = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(RenderVisible(*document, page).pixels.data());
        page = (page + 1) % 1000;
    }
}
BENCHMARK(BM_RenderFitWidthCold)->Unit(benchmark::kMillisecond)->Iterations(200);

// The same page again: decoded pixels come from the cache.
void BM_RenderFitWidthCached(benchmark::State& state) {
    auto document = Open(1000);
    RenderVisible(*document, 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(RenderVisible(*document, 0).pixels.data());
    }
}
BENCHMARK(BM_RenderFitWidthCached)->Unit(benchmark::kMillisecond);

// 200 G4 pages: unturned ones are copied as they are, turned ones decoded, turned
// and encoded again.
void BM_Export200PagesG4(benchmark::State& state) {
    const int angle = static_cast<int>(state.range(0));
    auto document = Open(200);
    if (angle != 0) {
        for (int page = 0; page < document->PageCount(); ++page) {
            document->RotatePage(page, angle);
        }
    }
    const std::string target = BenchFolder() + "/export.tiff";
    for (auto _ : state) {
        engine::WriteTiff(*document, target);
    }
}
BENCHMARK(BM_Export200PagesG4)->Arg(0)->Arg(90)->Unit(benchmark::kMillisecond)->Iterations(3);

// Every page of a 1000-page document in turn, as when paging through it; the
// counter is the process's peak resident memory (run this one on its own).
void BM_RenderEveryPageOf1000(benchmark::State& state) {
    for (auto _ : state) {
        auto document = Open(1000);
        for (int page = 0; page < document->PageCount(); ++page) {
            benchmark::DoNotOptimize(RenderVisible(*document, page).pixels.data());
        }
    }
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_RenderEveryPageOf1000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace folio::bench

// `engine_bench --make-document PATH PAGES` only writes a benchmark document, and
// `engine_bench --make-large-gray PATH PAGES SIDE` one of large gray pages (for the
// scripts); anything else runs the benchmarks.
int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if ((argc == 4 && mode == "--make-document") || (argc == 5 && mode == "--make-large-gray")) {
        try {
            if (argc == 4) {
                folio::bench::WriteG4Document(argv[2], std::atoi(argv[3]));
            } else {
                folio::bench::WriteLargeGrayDocument(
                    argv[2], std::atoi(argv[3]),
                    static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10)));
            }
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "engine_bench: %s\n", e.what());
            return 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
