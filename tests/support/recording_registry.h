#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

namespace folio::testing {

// A registry that records every call as one line of text and answers with handles
// counted up from 0x100, or with the failures a test asks for.
class RecordingRegistry : public Registry {
  public:
    CreateResult CreateKey(Handle root, std::string_view subKey, std::uint32_t reserved,
                           const char* keyClass, std::uint32_t options,
                           std::uint32_t access) override;
    OpenResult OpenKey(Handle root, std::string_view subKey, std::uint32_t options,
                       std::uint32_t access) override;
    std::int32_t SetValue(Handle key, std::string_view valueName, std::uint32_t reserved,
                          std::uint32_t type, const std::uint8_t* data,
                          std::uint32_t size) override;
    std::int32_t CloseKey(Handle key) override;
    std::int32_t DeleteTree(Handle root, std::string_view subKey) override;

    std::vector<std::string> calls;
    bool failCreate = false;
    bool failOpen = false;

  private:
    Handle next_ = 0x100;
};

}  // namespace folio::testing
