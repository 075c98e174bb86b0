#include "application_icon.h"

namespace folio::resources {

namespace generated {
extern const std::pair<int, std::string_view> kIconFiles[];
extern const int kIconFileCount;
extern const std::string_view kIconIco;
}  // namespace generated

std::span<const std::pair<int, std::string_view>> ApplicationIconFiles() {
    return {generated::kIconFiles, static_cast<std::size_t>(generated::kIconFileCount)};
}

std::string_view ApplicationIconPng(int size) {
    if (size <= 0) {
        return {};
    }
    for (const auto& [fileSize, bytes] : ApplicationIconFiles()) {
        if (fileSize == size) {
            return bytes;
        }
    }
    return {};
}

std::string_view ApplicationIconSvg() {
    return ApplicationIconFiles().front().second;
}

std::string_view ApplicationIconIco() {
    return generated::kIconIco;
}

}  // namespace folio::resources
