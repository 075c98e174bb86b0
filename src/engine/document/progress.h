#pragma once

// How a long operation (an export, a print job) tells whoever started it how far it
// has come, and learns that it is to stop.

#include <functional>

#include "common/error.h"
#include "common/error_numbers.h"

namespace folio::engine {

// Called with (0, total) when an operation starts, then (done, total) after each
// finished step. Returns false to cancel: the operation then stops, cleans up what
// it made and raises folio::Error with errors::kCancel. Empty: nobody watches.
using Progress = std::function<bool(int done, int total)>;

// Tells `progress` (when set) that `done` of `total` steps are finished; raises the
// cancel error when it asks to stop.
inline void ReportProgress(const Progress& progress, int done, int total) {
    if (progress && !progress(done, total)) {
        throw Error(errors::kCancel, "The operation was cancelled");
    }
}

}  // namespace folio::engine
