#pragma once

// Small POSIX adapters of the core's ports: file attributes from stat(), the UTF-8
// text codec, and the table of global memory blocks.

#include <map>
#include <vector>

#include "platform/file_attributes.h"
#include "platform/global_memory.h"
#include "platform/text_codec.h"

namespace folio::posix {

// stat() in Windows attribute bits: directory, read-only when the user may not write
// it, hidden for a name that starts with a dot, and normal for a plain file with none
// of these. A path that cannot be examined gives kInvalidAttributes.
class PosixFileAttributes : public FileAttributes {
  public:
    int32_t GetFileAttributes(const std::u16string& path) override;
};

// On POSIX the narrow code page is UTF-8.
class Utf8TextCodec : public TextCodec {
  public:
    std::string ToAnsi(std::u16string_view text) const override;
    std::u16string FromAnsi(std::string_view bytes) const override;
};

// Global memory blocks kept in a table of handles. Blocks never move, so a locked
// block stays where it is; the lock count is kept only to answer unlocks as Windows
// does. Handles are not reused while the table lives, so a stale one names nothing.
class GlobalMemoryTable : public GlobalMemory {
  public:
    GlobalHandle GlobalAlloc(uint32_t flags, size_t bytes) override;
    uint8_t* GlobalLock(GlobalHandle handle) override;
    bool GlobalUnlock(GlobalHandle handle) override;
    GlobalHandle GlobalFree(GlobalHandle handle) override;
    size_t GlobalSize(GlobalHandle handle) override;

    // Blocks allocated and not yet freed.
    size_t LiveBlocks() const { return blocks_.size(); }

  private:
    struct Block {
        std::vector<uint8_t> bytes;
        int locks = 0;
    };
    Block* Find(GlobalHandle handle);

    std::map<GlobalHandle, Block> blocks_;
    GlobalHandle next_ = 1;
};

}  // namespace folio::posix
