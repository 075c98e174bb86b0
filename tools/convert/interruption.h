#pragma once

namespace folio::convert {

// From the first call on, Ctrl+C (SIGINT) and SIGTERM no longer end the process at
// once: they are noted, so that the file being written is cancelled and removed
// (the writers' progress reports raise the cancel error) before the tool exits.
void CatchInterrupts();
bool Interrupted();

// Exit status after an interruption, as a shell reports a process ended by SIGINT.
inline constexpr int kInterruptedStatus = 130;

}  // namespace folio::convert
