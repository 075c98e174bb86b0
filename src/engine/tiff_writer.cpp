#include "engine/tiff_writer.h"

#include "common/error.h"
#include "common/error_numbers.h"

namespace folio::engine {

void WriteTiff(const PageSource&, const std::string& targetPath) {
    throw Error(errors::kNotImplemented, "Export to TIFF is not available yet: " + targetPath);
}

}  // namespace folio::engine
