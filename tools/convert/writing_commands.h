#pragma once

// What the commands that write pages share: Ctrl+C, --rotate and the progress line.

#include <functional>

#include "engine/document/page_source.h"
#include "engine/document/progress.h"

namespace folio::engine {
class EngineDocument;
}

namespace folio::convert {

class ArgumentList;

// From the first call on, Ctrl+C (SIGINT) and SIGTERM no longer end the process at
// once: they are noted, so that the file being written is cancelled and removed
// (the writers' progress reports raise the cancel error) before the tool exits.
void CatchInterrupts();
bool Interrupted();

// Exit status after an interruption, as a shell reports a process ended by SIGINT.
inline constexpr int kInterruptedStatus = 130;

// The angle of `--rotate` (90, -90 or 180), 0 when absent; UsageError otherwise.
int ParseTurn(const ArgumentList& list);
// What --verify and --strict ask of a writer.
engine::DamageChecks DamageChecksFrom(const ArgumentList& list);
// Turns every page of `document` clockwise by `angle` degrees (0: none).
void TurnAllPages(engine::EngineDocument& document, int angle);
// Runs `work`, which writes `pages` pages reporting to the progress it is given,
// with a progress line on a terminal for long documents; Ctrl+C cancels it, leaving
// no partial file.
void WithPageProgress(int pages, const std::function<void(const engine::Progress&)>& work);

}  // namespace folio::convert
