// How messages say where something went wrong, and the error that keeps that
// place apart from the reason.

#include "engine/tiff/located_error.h"

#include <utility>

namespace folio::engine {

std::string PageName(int page) {
    return "page " + std::to_string(page + 1);
}

std::string PageLocation(const std::string& file, int page) {
    return file.empty() ? PageName(page) : file + ", " + PageName(page);
}

LocatedError::LocatedError(int32_t number, std::string where, std::string reason)
    : Error(number, where + ": " + reason), where_(std::move(where)), reason_(std::move(reason)) {}

std::string ReasonOf(const Error& e) {
    const auto* located = dynamic_cast<const LocatedError*>(&e);
    return located != nullptr ? located->Reason() : e.Description();
}

}  // namespace folio::engine
