#pragma once

#include <string>
#include <vector>

namespace folio::convert {

// `render FILE --page N (--zoom Z [--dpi D] | --width PX | --scale S) -o OUT.png`:
// one page, as turned, through the viewer's rendering path.
int RunRender(const std::vector<std::string>& args);

}  // namespace folio::convert
