#pragma once

#include <string>
#include <vector>

namespace folio::convert {

// `export FILE OUT.tiff [--rotate 90|-90|180]`: every page, turned as asked, to a
// multi-page TIFF through the document's SaveAs.
int RunExport(const std::vector<std::string>& args);

}  // namespace folio::convert
