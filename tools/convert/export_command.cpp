#include "export_command.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "argument_list.h"
#include "command_files.h"
#include "engine/document/page_source.h"
#include "engine/write/tiff_writer.h"
#include "skipped_pages.h"
#include "usage_error.h"

namespace folio::convert {
namespace {

// Documents at least this long show a progress line (on a terminal only).
constexpr int kLongDocument = 20;

volatile std::sig_atomic_t interrupted = 0;

extern "C" void NoteInterrupt(int) {
    interrupted = 1;
}

}  // namespace

void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = NoteInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() {
    return interrupted != 0;
}

int ParseTurn(const ArgumentList& list) {
    if (!list.Has("--rotate")) {
        return 0;
    }
    const std::string angle = list.Value("--rotate");
    if (angle == "90" || angle == "+90") {
        return 90;
    }
    if (angle == "-90") {
        return -90;
    }
    if (angle == "180") {
        return 180;
    }
    throw UsageError("--rotate takes 90, -90 or 180, not \"" + angle + "\"");
}

void TurnAllPages(engine::EngineDocument& document, int angle) {
    if (angle == 0) {
        return;
    }
    for (int page = 0; page < document.PageCount(); ++page) {
        document.RotatePage(page, angle);
    }
}

namespace {

void ShowProgress(int done, int total) {
    if (done == 0) {
        return;
    }
    std::fprintf(stderr, "\rExporting page %d of %d", done, total);
    if (done == total) {
        std::fputc('\n', stderr);
    }
    std::fflush(stderr);
}

}  // namespace

void WithPageProgress(int pages, const std::function<void(const engine::Progress&)>& work) {
    CatchInterrupts();
    const bool progress = ::isatty(STDERR_FILENO) == 1 && pages >= kLongDocument;
    // Ctrl+C cancels at the next page; the writer removes what it began.
    const engine::Progress watch = [progress](int done, int total) {
        if (progress) {
            ShowProgress(done, total);
        }
        return !Interrupted();
    };
    try {
        work(watch);
    } catch (...) {
        if (progress) {
            std::fputc('\n', stderr);
        }
        throw;
    }
}

std::optional<BatchRequest> BatchRequestFrom(const ArgumentList& list, BatchFormat format) {
    if (!list.Has("--output-dir")) {
        if (list.Has("--recursive")) {
            throw UsageError("--recursive goes with --output-dir");
        }
        return std::nullopt;
    }
    BatchRequest request;
    request.format = format;
    request.inputs = list.Positional();
    request.outputDir = list.Value("--output-dir");
    request.recursive = list.Has("--recursive");
    request.overwrite = list.Has("--overwrite");
    request.angle = ParseTurn(list);
    request.skipDamaged = list.Has("--skip-damaged");
    if (request.outputDir.empty()) {
        throw UsageError("--output-dir needs a folder");
    }
    if (request.inputs.empty()) {
        throw UsageError("--output-dir needs at least one file or folder to convert");
    }
    return request;
}

int RunExport(const std::vector<std::string>& args) {
    const ArgumentList list(args, {"--rotate", "--output-dir"},
                            {"--recursive", "--overwrite", "--skip-damaged"});
    if (const auto batch = BatchRequestFrom(list, BatchFormat::Tiff)) {
        return RunBatch(*batch);
    }
    if (list.Positional().size() != 2) {
        throw UsageError("export needs a file and the TIFF file to write");
    }
    const int angle = ParseTurn(list);
    // An existing OUT.tiff is replaced, --overwrite or not (scripts rely on it);
    // the switch is taken so that one command line serves pdf and export.
    InputFiles({list.Positional()[0]}).CheckTarget(list.Positional()[1], true);
    const auto document = OpenDocument(list.Positional()[0]);
    TurnAllPages(*document, angle);
    if (list.Has("--skip-damaged")) {
        std::vector<engine::SkippedPage> skipped;
        WithPageProgress(document->PageCount(), [&](const engine::Progress& progress) {
            engine::WriteTiff(*document, list.Positional()[1], {}, &skipped, progress);
        });
        return FinishSkipping(list.Positional()[1], {list.Positional()[0]}, {document.get()},
                              document->PageCount(), skipped, SkipKind::LeftOut);
    }
    WithPageProgress(document->PageCount(), [&](const engine::Progress& progress) {
        engine::WriteTiff(*document, list.Positional()[1], {}, nullptr, progress);
    });
    return 0;
}

}  // namespace folio::convert
