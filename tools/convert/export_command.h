#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "batch_command.h"
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
// Turns every page of `document` clockwise by `angle` degrees (0: none).
void TurnAllPages(engine::EngineDocument& document, int angle);
// Runs `work`, which writes `pages` pages reporting to the progress it is given,
// with a progress line on a terminal for long documents; Ctrl+C cancels it, leaving
// no partial file.
void WithPageProgress(int pages, const std::function<void(const engine::Progress&)>& work);
// The batch conversion asked for with --output-dir, or none when it is absent.
std::optional<BatchRequest> BatchRequestFrom(const ArgumentList& list, BatchFormat format);

// `export FILE OUT.tiff [--rotate 90|-90|180] [--overwrite] [--skip-damaged]`:
// every page, turned as asked, to a multi-page TIFF, as the viewer's export writes it;
// with --skip-damaged the pages that cannot be decoded or reached are left out,
// each named, and the status is 3 when any was.
int RunExport(const std::vector<std::string>& args);

}  // namespace folio::convert
