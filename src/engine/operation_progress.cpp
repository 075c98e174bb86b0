#include "engine/operation_progress.h"

#include <utility>

#include "common/error.h"
#include "common/error_numbers.h"

namespace folio::engine {
namespace {

thread_local ScopedProgress::Listener current;

}  // namespace

ScopedProgress::ScopedProgress(Listener listener)
    : previous_(std::exchange(current, std::move(listener))) {}

ScopedProgress::~ScopedProgress() {
    current = std::move(previous_);
}

void ScopedProgress::Report(int done, int total) {
    if (current && !current(done, total)) {
        throw Error(errors::kCancel, "The operation was cancelled");
    }
}

}  // namespace folio::engine
