#include "support/recording_registry.h"

#include <cstdio>

namespace folio::testing {
namespace {

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// Quotes bytes so that a NUL or a non-ASCII byte shows up in the recorded line.
std::string Quote(std::string_view bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == 0) {
            out += "\\0";
        } else if (c < 0x20 || c >= 0x7F) {
            char text[8];
            std::snprintf(text, sizeof text, "\\x%02X", c);
            out += text;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out + "\"";
}

}  // namespace

Registry::CreateResult RecordingRegistry::CreateKey(Handle root, std::string_view subKey,
                                                    std::uint32_t reserved, const char* keyClass,
                                                    std::uint32_t options, std::uint32_t access) {
    calls.push_back("CreateKey(" + Hex(root) + ", " + Quote(subKey) + ", " +
                    std::to_string(reserved) + ", " + (keyClass ? Quote(keyClass) : "null") + ", " +
                    std::to_string(options) + ", " + std::to_string(access) + ")");
    if (failCreate) {
        return {kAccessDenied, 0, 0};
    }
    return {kSuccess, next_++, kCreatedNewKey};
}

Registry::OpenResult RecordingRegistry::OpenKey(Handle root, std::string_view subKey,
                                                std::uint32_t options, std::uint32_t access) {
    calls.push_back("OpenKey(" + Hex(root) + ", " + Quote(subKey) + ", " + std::to_string(options) +
                    ", " + std::to_string(access) + ")");
    if (failOpen) {
        return {kFileNotFound, 0};
    }
    return {kSuccess, next_++};
}

std::int32_t RecordingRegistry::SetValue(Handle key, std::string_view valueName,
                                         std::uint32_t reserved, std::uint32_t type,
                                         const std::uint8_t* data, std::uint32_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    calls.push_back("SetValue(" + Hex(key) + ", " + Quote(valueName) + ", " +
                    std::to_string(reserved) + ", " + std::to_string(type) + ", " + Quote(bytes) +
                    ", " + std::to_string(size) + ")");
    return key == 0 ? kInvalidHandle : kSuccess;
}

std::int32_t RecordingRegistry::CloseKey(Handle key) {
    calls.push_back("CloseKey(" + Hex(key) + ")");
    return key == 0 ? kInvalidHandle : kSuccess;
}

std::int32_t RecordingRegistry::DeleteTree(Handle root, std::string_view subKey) {
    calls.push_back("DeleteTree(" + Hex(root) + ", " + Quote(subKey) + ")");
    return kSuccess;
}

}  // namespace folio::testing
