#include "skipped_pages.h"

#include <cstdio>

#include "command_files.h"
#include "engine/tiff/located_error.h"

namespace folio::convert {

void WarnSkipped(const std::string& input, const std::vector<engine::SkippedPage>& skipped,
                 SkipKind kind) {
    const char* what = kind == SkipKind::LeftOut ? "left out" : "written as a notice";
    for (const engine::SkippedPage& page : skipped) {
        std::fprintf(stderr, "foliolens-convert: warning: page %d %s: %s\n", page.page + 1, what,
                     OneLine(engine::PageLocation(input, page.page) + ": " + page.reason).c_str());
    }
}

int FinishSkipping(const std::string& target, const std::vector<std::string>& inputs,
                   const std::vector<const engine::PageSource*>& sources, int pages,
                   const std::vector<engine::SkippedPage>& skipped, SkipKind kind) {
    std::fflush(stdout);
    for (size_t i = 0; i < sources.size() && i < inputs.size(); ++i) {
        std::vector<engine::SkippedPage> own;
        for (const engine::SkippedPage& page : skipped) {
            if (page.source == sources[i]) {
                own.push_back(page);
            }
        }
        WarnSkipped(inputs[i], own, kind);
    }
    if (skipped.empty()) {
        return 0;
    }
    const size_t count = skipped.size();
    const bool one = count == 1;
    if (kind == SkipKind::LeftOut) {
        std::fprintf(stderr,
                     "foliolens-convert: %s: %zu of %d pages written, %zu damaged %s left out\n",
                     OneLine(target).c_str(), static_cast<size_t>(pages) - count, pages, count,
                     one ? "page" : "pages");
    } else {
        std::fprintf(
            stderr, "foliolens-convert: %s: %d pages written, %zu of them %s\n",
            OneLine(target).c_str(), pages, count,
            one ? "a notice in place of a damaged page" : "notices in place of damaged pages");
    }
    return kSkippedStatus;
}

}  // namespace folio::convert
