#include "skipped_pages.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "command_files.h"
#include "engine/tiff/located_error.h"

namespace folio::convert {

namespace {

const char* Became(SkipKind kind) {
    switch (kind) {
        case SkipKind::LeftOut:
            return "left out";
        case SkipKind::Notice:
            return "written as a notice";
        case SkipKind::Damaged:
            break;
    }
    return "written as read, damaged";
}

// The pages of `all` that come from `source`.
std::vector<engine::SkippedPage> Of(const engine::PageSource* source,
                                    const std::vector<engine::SkippedPage>& all) {
    std::vector<engine::SkippedPage> own;
    std::copy_if(all.begin(), all.end(), std::back_inserter(own),
                 [source](const engine::SkippedPage& page) { return page.source == source; });
    return own;
}

}  // namespace

std::vector<engine::SkippedPage> DamagedPages(const std::vector<const engine::PageSource*>& sources,
                                              const std::vector<engine::SkippedPage>& skipped) {
    std::vector<engine::SkippedPage> damaged;
    for (const engine::PageSource* source : sources) {
        for (int page = 0; page < source->PageCount(); ++page) {
            const bool left = std::any_of(skipped.begin(), skipped.end(), [&](const auto& s) {
                return s.source == source && s.page == page;
            });
            if (std::string damage = source->Info(page).damage; !left && !damage.empty()) {
                damaged.push_back({source, page, std::move(damage)});
            }
        }
    }
    return damaged;
}

void WarnSkipped(const std::string& input, const std::vector<engine::SkippedPage>& skipped,
                 SkipKind kind) {
    for (const engine::SkippedPage& page : skipped) {
        std::fprintf(stderr, "foliolens-convert: warning: page %d %s: %s\n", page.page + 1,
                     Became(kind),
                     OneLine(engine::PageLocation(input, page.page) + ": " + page.reason).c_str());
    }
}

int FinishWriting(const std::string& target, const std::vector<std::string>& inputs,
                  const std::vector<const engine::PageSource*>& sources, int pages,
                  const std::vector<engine::SkippedPage>& skipped, SkipKind kind) {
    std::fflush(stdout);
    const std::vector<engine::SkippedPage> damaged = DamagedPages(sources, skipped);
    for (size_t i = 0; i < sources.size() && i < inputs.size(); ++i) {
        WarnSkipped(inputs[i], Of(sources[i], skipped), kind);
        WarnSkipped(inputs[i], Of(sources[i], damaged), SkipKind::Damaged);
    }
    const std::string name = OneLine(target);
    const size_t count = skipped.size();
    const bool one = count == 1;
    if (count > 0 && kind == SkipKind::LeftOut) {
        std::fprintf(
            stderr, "foliolens-convert: %s: %zu of %d pages written, %zu damaged %s left out\n",
            name.c_str(), static_cast<size_t>(pages) - count, pages, count, one ? "page" : "pages");
    } else if (count > 0) {
        std::fprintf(
            stderr, "foliolens-convert: %s: %d pages written, %zu of them %s\n", name.c_str(),
            pages, count,
            one ? "a notice in place of a damaged page" : "notices in place of damaged pages");
    }
    if (!damaged.empty()) {
        std::fprintf(stderr, "foliolens-convert: %s: %zu %s written as read, damaged\n",
                     name.c_str(), damaged.size(), damaged.size() == 1 ? "page" : "pages");
    }
    return count + damaged.size() == 0 ? 0 : kSkippedStatus;
}

}  // namespace folio::convert
