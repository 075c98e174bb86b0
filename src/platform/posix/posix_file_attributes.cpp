#include "platform/posix/posix_file_attributes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "common/utf8.h"

namespace folio::posix {
namespace {

bool HasDotName(const std::string& path) {
    std::string_view name(path);
    while (name.size() > 1 && name.back() == '/') {
        name.remove_suffix(1);
    }
    const auto slash = name.rfind('/');
    if (slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    return !name.empty() && name.front() == '.' && name != "." && name != "..";
}

}  // namespace

int32_t PosixFileAttributes::GetFileAttributes(const std::u16string& path) {
    const std::string narrow = ToUtf8(path);
    struct stat info {};
    if (narrow.empty() || ::stat(narrow.c_str(), &info) != 0) {
        return kInvalidAttributes;
    }
    int32_t attributes = 0;
    if (S_ISDIR(info.st_mode)) {
        attributes |= kAttributeDirectory;
    }
    if (::access(narrow.c_str(), W_OK) != 0) {
        attributes |= kAttributeReadOnly;
    }
    if (HasDotName(narrow)) {
        attributes |= kAttributeHidden;
    }
    return attributes == 0 ? kAttributeNormal : attributes;
}

}  // namespace folio::posix
