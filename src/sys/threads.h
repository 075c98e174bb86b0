#pragma once

// Thread priority, for the engine's workers: the one OS call about threads the
// engine makes.

namespace folio::sys {

// Moves the calling thread below the priority it runs at, so that it yields the
// processor to the process's other threads (the user interface's) on a busy
// machine. False when the system refuses; the thread then keeps its priority,
// which is only slower to yield.
bool LowerThreadPriority();

}  // namespace folio::sys
