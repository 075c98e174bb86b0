#include "engine/export_progress.h"

#include <utility>

namespace folio::engine {
namespace {

thread_local ScopedExportProgress::Listener current;

}  // namespace

ScopedExportProgress::ScopedExportProgress(Listener listener)
    : previous_(std::exchange(current, std::move(listener))) {}

ScopedExportProgress::~ScopedExportProgress() {
    current = std::move(previous_);
}

void ScopedExportProgress::Report(int done, int total) {
    if (current) {
        current(done, total);
    }
}

}  // namespace folio::engine
