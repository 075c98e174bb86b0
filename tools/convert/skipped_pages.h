#pragma once

// Pages an output holds only in part: those `--skip-damaged` keeps out of it, and
// those written as read in spite of damage. The warning naming each, the summary
// counting them, and the exit status that says so.

#include <string>
#include <vector>

#include "engine/document/page_source.h"

namespace folio::convert {

// Exit status of a file written with pages left out, stood in for, or damaged.
inline constexpr int kSkippedStatus = 3;

// What became of a page that could not be written whole.
enum class SkipKind {
    LeftOut,  // TIFF: the page is not in the file
    Notice,   // PDF: a page of its size says why it is missing
    Damaged,  // written (or rendered) as read, in spite of damage
};

// The pages of `sources` written with damage found in them (their PageInfo's
// damage), but for those `skipped` lists; each reason names the page.
std::vector<engine::SkippedPage> DamagedPages(const std::vector<const engine::PageSource*>& sources,
                                              const std::vector<engine::SkippedPage>& skipped);

// One warning line on standard error per page of `skipped` (all from `input`).
void WarnSkipped(const std::string& input, const std::vector<engine::SkippedPage>& skipped,
                 SkipKind kind);

// The single-file commands' ending: warnings for the pages skipped (as `kind`
// says) and those damaged, and a line counting them; kSkippedStatus when there
// are any, 0 otherwise. `pages` is the documents' page count, `inputs` their files
// in order.
int FinishWriting(const std::string& target, const std::vector<std::string>& inputs,
                  const std::vector<const engine::PageSource*>& sources, int pages,
                  const std::vector<engine::SkippedPage>& skipped, SkipKind kind);

}  // namespace folio::convert
