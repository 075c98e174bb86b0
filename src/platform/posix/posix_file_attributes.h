#pragma once

#include "platform/file_attributes.h"

namespace folio::posix {

// stat() in Windows attribute bits: directory, read-only when the user may not write
// it, hidden for a name that starts with a dot, and normal for a plain file with none
// of these. A path that cannot be examined gives kInvalidAttributes.
class PosixFileAttributes : public FileAttributes {
  public:
    int32_t GetFileAttributes(const std::u16string& path) override;
};

}  // namespace folio::posix
