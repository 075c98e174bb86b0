#pragma once

namespace folio::convert {

// What `foliolens-convert --help` prints.
extern const char* const kUsageText;

}  // namespace folio::convert
