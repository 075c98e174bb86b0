#include "platform/posix/registry_file_format.h"

#include <cstdio>

#include "common/utf8.h"
#include "platform/registry.h"

namespace folio::posix {
namespace {

constexpr std::string_view kEol = "\r\n";
constexpr std::size_t kLineWidth = 80;

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

bool IsStringType(std::uint32_t type) {
    return type == Registry::kString || type == Registry::kExpandString;
}

// A quoted line cannot carry line breaks or other control characters, and the text
// must survive as it is: otherwise the string goes out as hex(1) in UTF-16LE, as the
// Windows editor does.
bool FitsQuoted(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
    }
    return ValidUtf8(text) == text;
}

std::string Utf16LeWithTerminator(std::string_view text) {
    std::u16string wide = FromUtf8(text);
    wide.push_back(u'\0');
    std::string bytes;
    for (char16_t unit : wide) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// "name"=hex(n):aa,bb,... wrapped before the line width, continued by a backslash.
std::string HexLine(const std::string& prefix, std::uint32_t type, std::string_view bytes) {
    char tag[24];
    if (type == Registry::kBinary) {
        std::snprintf(tag, sizeof tag, "hex:");
    } else {
        std::snprintf(tag, sizeof tag, "hex(%x):", static_cast<unsigned>(type));
    }
    std::string out = prefix + tag;
    std::size_t column = out.size();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(bytes[i]));
        out += pair;
        column += 2;
        if (i + 1 < bytes.size()) {
            out.push_back(',');
            ++column;
            if (column + 3 >= kLineWidth - 2) {
                out += "\\";
                out += kEol;
                out += "  ";
                column = 2;
            }
        }
    }
    return out;
}

std::string ValueLine(const std::string& name, const RegistryValue& value) {
    const std::string prefix = (name.empty() ? std::string("@") : Quoted(name)) + "=";
    if (value.type == Registry::kString && FitsQuoted(value.data)) {
        return prefix + Quoted(value.data);
    }
    if (IsStringType(value.type)) {
        return HexLine(prefix, value.type, Utf16LeWithTerminator(value.data));
    }
    if (value.type == Registry::kDword && value.data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) {
            number = (number << 8) | static_cast<unsigned char>(value.data[i]);
        }
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(number));
        return prefix + text;
    }
    return HexLine(prefix, value.type, value.data);
}

}  // namespace

std::string FormatRegistryFile(const RegistryFileData& data) {
    std::string out(kRegistryFileHeader);
    out += kEol;
    out += kEol;
    for (const RegistryFileData::Key* key : data.KeysInTreeOrder()) {
        if (key->path.empty() && key->values.empty()) {
            continue;
        }
        out += "[HKEY_CLASSES_ROOT";
        if (!key->path.empty()) {
            out += "\\" + key->path;
        }
        out += "]";
        out += kEol;
        for (const auto& [folded, named] : key->values) {
            out += ValueLine(named.first, named.second);
            out += kEol;
        }
        out += kEol;
    }
    return out;
}

}  // namespace folio::posix
