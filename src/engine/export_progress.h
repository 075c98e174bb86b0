#pragma once

#include <functional>

namespace folio::engine {

// While an object of this class lives, exports on the same thread report each
// finished page to `listener` (pages done, page count), e.g. for a progress line.
// Installing one is how a front end watches an export that runs behind
// Document::SaveAs, whose signature has no room for a callback.
class ScopedExportProgress {
  public:
    using Listener = std::function<void(int done, int total)>;

    explicit ScopedExportProgress(Listener listener);
    ~ScopedExportProgress();
    ScopedExportProgress(const ScopedExportProgress&) = delete;
    ScopedExportProgress& operator=(const ScopedExportProgress&) = delete;

    // Called by the writer; does nothing when no listener is installed.
    static void Report(int done, int total);

  private:
    Listener previous_;
};

}  // namespace folio::engine
