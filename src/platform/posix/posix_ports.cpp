// File attributes from stat(), the UTF-8 text codec, and the global memory table.
#include "platform/posix/posix_ports.h"

#include <sys/stat.h>
#include <unistd.h>

#include <limits>
#include <new>
#include <stdexcept>
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

std::string Utf8TextCodec::ToAnsi(std::u16string_view text) const {
    return ToUtf8(text);
}

std::u16string Utf8TextCodec::FromAnsi(std::string_view bytes) const {
    return FromUtf8(bytes);
}

GlobalMemoryTable::Block* GlobalMemoryTable::Find(GlobalHandle handle) {
    const auto found = blocks_.find(handle);
    return found == blocks_.end() ? nullptr : &found->second;
}

GlobalHandle GlobalMemoryTable::GlobalAlloc(uint32_t, size_t bytes) {
    // Every block is zeroed, whether or not the zero-init flag asks for it.
    if (next_ == std::numeric_limits<GlobalHandle>::max()) {
        return 0;
    }
    try {
        // Windows hands out a usable block even for 0 bytes; so does a vector.
        blocks_.emplace(next_, Block{std::vector<uint8_t>(bytes, 0), 0});
    } catch (const std::bad_alloc&) {
        return 0;
    } catch (const std::length_error&) {
        return 0;
    }
    return next_++;
}

uint8_t* GlobalMemoryTable::GlobalLock(GlobalHandle handle) {
    Block* block = Find(handle);
    if (block == nullptr) {
        return nullptr;
    }
    ++block->locks;
    // A zero-byte block still gives a pointer, as the lock succeeded.
    static uint8_t empty = 0;
    return block->bytes.empty() ? &empty : block->bytes.data();
}

bool GlobalMemoryTable::GlobalUnlock(GlobalHandle handle) {
    Block* block = Find(handle);
    if (block == nullptr || block->locks == 0) {
        return false;
    }
    return --block->locks > 0;
}

GlobalHandle GlobalMemoryTable::GlobalFree(GlobalHandle handle) {
    return blocks_.erase(handle) == 1 ? 0 : handle;
}

size_t GlobalMemoryTable::GlobalSize(GlobalHandle handle) {
    const Block* block = Find(handle);
    return block == nullptr ? 0 : block->bytes.size();
}

}  // namespace folio::posix
