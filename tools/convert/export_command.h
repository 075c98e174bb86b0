#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch_command.h"

namespace folio::convert {

class ArgumentList;

// The batch conversion asked for with --output-dir, or none when it is absent.
std::optional<BatchRequest> BatchRequestFrom(const ArgumentList& list, BatchFormat format);

// `export FILE OUT.tiff [--rotate 90|-90|180] [--overwrite] [--skip-damaged]
// [--strict] [--verify]`: every page, turned as asked, to a multi-page TIFF; with
// --skip-damaged the pages that cannot be decoded or reached are left out, each
// named. Pages written in spite of damage are named too; the status is 3 when any
// page was left out or damaged, and with --strict a damaged page fails the file.
int RunExport(const std::vector<std::string>& args);

}  // namespace folio::convert
