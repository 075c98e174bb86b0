#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace folio {

// The one error type the program raises and catches. It carries a number (the
// program's error numbers are in error_numbers.h) and a description in UTF-8 that
// names what was wrong, fit to be shown to the user as it stands.
class Error : public std::runtime_error {
  public:
    Error(int32_t number, const std::string& description);

    int32_t Number() const noexcept { return number_; }
    std::string Description() const { return what(); }

  private:
    int32_t number_;
};

}  // namespace folio
