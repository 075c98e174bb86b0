#pragma once

#include <stdexcept>
#include <string>

namespace folio::convert {

// A command line the tool cannot make sense of (exit status 2, with a hint to
// see --help), as opposed to a failure to do what it asked (folio::Error).
class UsageError : public std::runtime_error {
  public:
    explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace folio::convert
