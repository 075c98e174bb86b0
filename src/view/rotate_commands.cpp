#include "view/rotate_commands.h"

namespace folio::view {

std::vector<int32_t> EveryPageMarked(imaging::Document& document) {
    const int32_t count = document.Images()->Count();
    return std::vector<int32_t>(count > 0 ? static_cast<size_t>(count) : 0, -1);
}

void RotatePages(imaging::Document& document, const int32_t& angle,
                 const std::vector<int32_t>& pages) {
    for (size_t i = 0; i < pages.size(); ++i) {
        if (pages[i] != -1) {
            continue;
        }
        // Both references are let go before the next page.
        std::shared_ptr<imaging::Image> image = document.Images()->Item(static_cast<int32_t>(i));
        image->Rotate(angle);
    }
}

}  // namespace folio::view
