#pragma once

#include <string>
#include <vector>

namespace folio::convert {

// `pdf IN... -o OUT.pdf [--rotate 90|-90|180] [--overwrite]`: every page of the
// inputs, in order, into one PDF.
int RunPdf(const std::vector<std::string>& args);

// Refuses to write `target` when it is one of `inputs`, or when it exists and
// `overwrite` is false (folio::Error naming the file).
void CheckTarget(const std::string& target, const std::vector<std::string>& inputs, bool overwrite);

}  // namespace folio::convert
