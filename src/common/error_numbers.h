#pragma once

#include <cstdint>

namespace folio::errors {

// Numbers follow the classic runtime's numbering where one exists, so that a
// message naming a number means the same thing as users of such programs know.
inline constexpr int32_t kInvalidProcedureCall = 5;
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kSubscriptOutOfRange = 9;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kBadFileName = 52;
inline constexpr int32_t kFileNotFound = 53;
inline constexpr int32_t kDeviceIoError = 57;
inline constexpr int32_t kFileAlreadyExists = 58;
inline constexpr int32_t kDiskFull = 61;
inline constexpr int32_t kPermissionDenied = 70;
inline constexpr int32_t kPathNotFound = 76;
inline constexpr int32_t kObjectNotSet = 91;
inline constexpr int32_t kInvalidFileFormat = 321;
inline constexpr int32_t kNotImplemented = 445;
// The user cancelled: a common dialog while its cancel-error switch is on, or a long
// operation (export, print job) from its progress dialog.
inline constexpr int32_t kCancel = 32755;
// Raised by the imaging engine for a page it cannot decode.
inline constexpr int32_t kUnsupportedCompression = 32800;
inline constexpr int32_t kDamagedFile = 32801;
// The printing system (no printer, a refused job).
inline constexpr int32_t kPrinterError = 482;

}  // namespace folio::errors
