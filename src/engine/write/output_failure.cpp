// What stops a writer: one error naming the target and the reason, and the
// failures of the target file and of writes to it.

#include "engine/write/output_failure.h"

#include <cstring>
#include <utility>

#include "common/error_numbers.h"

namespace folio::engine {

namespace {

int32_t NumberFor(int err) {
    switch (sys::ClassifyWriteError(err)) {
        case sys::WriteFailure::AccessDenied:
            return errors::kPermissionDenied;
        case sys::WriteFailure::DiskFull:
            return errors::kDiskFull;
        case sys::WriteFailure::NotFound:
            return errors::kPathNotFound;
        default:
            return errors::kDeviceIoError;
    }
}

}  // namespace

OutputError::OutputError(int32_t number, const std::string& heading, std::string reason)
    : Error(number, heading + ": " + reason), reason_(std::move(reason)) {}

void OutputFailure::Raise(int32_t number, const std::string& reason) const {
    throw OutputError(number, heading_, reason);
}

void OutputFailure::RaiseWrite(const std::string& reason, int err) const {
    Raise(err == 0 ? errors::kDeviceIoError : NumberFor(err),
          err == 0 ? reason : reason + " (" + std::strerror(err) + ")");
}

void OutputFailure::Open(sys::AtomicFile& file, const std::string& target,
                         sys::AtomicFile::Options options) const {
    if (const int err = file.Open(target, options); err != 0) {
        RaiseFile(file, err);
    }
}

void OutputFailure::Commit(sys::AtomicFile& file) const {
    if (const int err = file.Commit(); err != 0) {
        RaiseFile(file, err);
    }
}

void OutputFailure::RaiseFile(const sys::AtomicFile& file, int err) const {
    const char* what = "cannot replace the file";
    switch (file.FailedStep()) {
        case sys::AtomicFile::Step::NoFileName:
            Raise(errors::kPathNotFound, "no file name");
        case sys::AtomicFile::Step::TargetIsFolder:
            Raise(errors::kPermissionDenied, "it is a folder");
        case sys::AtomicFile::Step::TargetNotFile:
            Raise(errors::kPermissionDenied, std::string("it is ") + file.TargetKind() +
                                                 ", not a regular file; it is left alone");
        case sys::AtomicFile::Step::TargetExists:
            Raise(errors::kFileAlreadyExists,
                  file.TempPath().empty() ? "it already exists and is kept"
                                          : "a file of that name appeared meanwhile and is kept");
        case sys::AtomicFile::Step::Create:
            what = "cannot create a file in its folder";
            break;
        case sys::AtomicFile::Step::Flush:
            what = "cannot flush the data to disk";
            break;
        case sys::AtomicFile::Step::Close:
            what = "cannot finish writing";
            break;
        default:
            break;
    }
    Raise(NumberFor(err), std::string(what) + ": " + std::strerror(err));
}

}  // namespace folio::engine
