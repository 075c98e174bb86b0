#pragma once

// Pages that `--skip-damaged` keeps out of an output: the warning naming each, the
// summary counting them, and the exit status that says pages were skipped.

#include <string>
#include <vector>

#include "engine/document/page_source.h"

namespace folio::convert {

// Exit status of a file written with pages left out or stood in for.
inline constexpr int kSkippedStatus = 3;

// What became of a page that could not be written.
enum class SkipKind {
    LeftOut,  // TIFF: the page is not in the file
    Notice,   // PDF: a page of its size says why it is missing
};

// One warning line on standard error per page of `skipped` (all from `input`).
void WarnSkipped(const std::string& input, const std::vector<engine::SkippedPage>& skipped,
                 SkipKind kind);

// The single-file commands' ending: warnings for the pages skipped and a line
// counting them; kSkippedStatus when there are any, 0 otherwise. `pages` is the
// documents' page count, `inputs` their files in order.
int FinishSkipping(const std::string& target, const std::vector<std::string>& inputs,
                   const std::vector<const engine::PageSource*>& sources, int pages,
                   const std::vector<engine::SkippedPage>& skipped, SkipKind kind);

}  // namespace folio::convert
