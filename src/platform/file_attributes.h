#pragma once

#include <cstdint>
#include <string>

namespace folio {

// Attribute bits with the values Windows gives them.
inline constexpr int32_t kAttributeReadOnly = 0x1;
inline constexpr int32_t kAttributeHidden = 0x2;
inline constexpr int32_t kAttributeDirectory = 0x10;
inline constexpr int32_t kAttributeNormal = 0x80;
// What a path that names nothing gives.
inline constexpr int32_t kInvalidAttributes = -1;

// The file system's attribute value of a path (GetFileAttributes).
class FileAttributes {
  public:
    virtual ~FileAttributes() = default;
    // The attribute bits of `path`, or kInvalidAttributes when it cannot be examined.
    virtual int32_t GetFileAttributes(const std::u16string& path) = 0;
};

}  // namespace folio
