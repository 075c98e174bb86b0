#include "common/error.h"

namespace folio {

Error::Error(int32_t number, const std::string& description)
    : std::runtime_error(description), number_(number) {}

}  // namespace folio
