#pragma once

// How messages say where something went wrong (a file, a page of one), and the
// error that keeps that place apart from the reason, so that whoever shows it can
// name the place its own way instead of taking the message apart.

#include <cstdint>
#include <string>

#include "common/error.h"

namespace folio::engine {

// "page N" for the zero-based `page`.
std::string PageName(int page);

// "FILE, page N", or "page N" for a document held in memory (no file).
std::string PageLocation(const std::string& file, int page);

// A folio::Error described as "WHERE: REASON".
class LocatedError : public Error {
  public:
    LocatedError(int32_t number, std::string where, std::string reason);

    // The file, or "FILE, page N", as the message names it.
    const std::string& Where() const { return where_; }
    // What was wrong there, naming no place.
    const std::string& Reason() const { return reason_; }

  private:
    std::string where_;
    std::string reason_;
};

// What was wrong without the place when `e` names one apart, else all it says.
std::string ReasonOf(const Error& e);

}  // namespace folio::engine
