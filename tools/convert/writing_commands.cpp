#include "writing_commands.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "argument_list.h"
#include "engine/document/engine_document.h"
#include "engine/document/page_source.h"
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

engine::DamageChecks DamageChecksFrom(const ArgumentList& list) {
    return {list.Has("--verify"), list.Has("--strict")};
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

}  // namespace folio::convert
