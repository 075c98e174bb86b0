#pragma once

#include <string>
#include <vector>

namespace folio::convert {

// `pdf IN... -o OUT.pdf [--rotate 90|-90|180] [--overwrite]`: every page of the
// inputs, in order, into one PDF.
int RunPdf(const std::vector<std::string>& args);

}  // namespace folio::convert
