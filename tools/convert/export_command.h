#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch_command.h"

namespace folio::convert {

class ArgumentList;

// The batch conversion asked for with --output-dir, or none when it is absent.
std::optional<BatchRequest> BatchRequestFrom(const ArgumentList& list, BatchFormat format);

// `export FILE OUT.tiff [--rotate 90|-90|180] [--overwrite] [--skip-damaged]`:
// every page, turned as asked, to a multi-page TIFF through the document's SaveAs;
// with --skip-damaged the pages that cannot be decoded or reached are left out,
// each named, and the status is 3 when any was.
int RunExport(const std::vector<std::string>& args);

}  // namespace folio::convert
