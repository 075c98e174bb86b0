#pragma once

// What stops a writer (TIFF, PDF, PNG): one error naming the target and the
// reason, raised alike by every writer, and the failures of the target file and
// of writes to it told apart by what they mean to the user.

#include <cstdint>
#include <string>

#include "common/error.h"
#include "sys/files.h"

namespace folio::engine {

// A writer's failure, described as "HEADING: REASON" (the heading names the
// target: "Cannot export to \"out.tiff\"").
class OutputError : public Error {
  public:
    OutputError(int32_t number, const std::string& heading, std::string reason);

    // Why, without the heading.
    const std::string& Reason() const { return reason_; }

  private:
    std::string reason_;
};

// The failures of one writer on one target, each raised as an OutputError.
class OutputFailure {
  public:
    explicit OutputFailure(std::string heading) : heading_(std::move(heading)) {}

    [[noreturn]] void Raise(int32_t number, const std::string& reason) const;
    // A write that failed with errno `err` (0 when none is known): a full disk is
    // told from other failures, and the system's reason is added.
    [[noreturn]] void RaiseWrite(const std::string& reason, int err) const;

    // Creates the temporary file that becomes `target`, raising what stops it.
    void Open(sys::AtomicFile& file, const std::string& target,
              sys::AtomicFile::Options options = sys::AtomicFile::Options{}) const;
    // Flushes and renames it over the target, raising what stops it.
    void Commit(sys::AtomicFile& file) const;

  private:
    [[noreturn]] void RaiseFile(const sys::AtomicFile& file, int err) const;

    std::string heading_;
};

}  // namespace folio::engine
