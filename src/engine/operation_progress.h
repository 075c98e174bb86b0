#pragma once

#include <functional>

namespace folio::engine {

// While an object of this class lives, long operations on the same thread (an export,
// a print job) report their progress to `listener`: (0, total) when they start, then
// (done, total) after each finished step. The listener returns false to cancel; the
// operation then stops, cleans up what it made and raises folio::Error with
// errors::kCancel. Installing one is how a front end watches an operation that runs
// behind Document::SaveAs or PrintOut, whose signatures have no room for a callback.
class ScopedProgress {
  public:
    using Listener = std::function<bool(int done, int total)>;

    explicit ScopedProgress(Listener listener);
    ~ScopedProgress();
    ScopedProgress(const ScopedProgress&) = delete;
    ScopedProgress& operator=(const ScopedProgress&) = delete;

    // Called by the operation; does nothing when no listener is installed and raises
    // the cancel error when the listener asks to stop.
    static void Report(int done, int total);

  private:
    Listener previous_;
};

}  // namespace folio::engine
