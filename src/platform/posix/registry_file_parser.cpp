#include "platform/posix/registry_file_format.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "common/utf8.h"
#include "platform/posix/file_association.h"
#include "platform/registry.h"

namespace folio::posix {
namespace {

constexpr std::string_view kOldHeader = "REGEDIT4";
constexpr std::string_view kRoot = "HKEY_CLASSES_ROOT";

struct Failure {
    int line;
    std::string error;
};

// Little-endian byte pairs as UTF-16 code units; an odd last byte is left out.
std::u16string Utf16LeUnits(std::string_view bytes) {
    std::u16string wide;
    wide.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return wide;
}

// The text as UTF-8: a UTF-16LE file (byte-order mark FF FE) is converted, a UTF-8
// byte-order mark dropped.
std::string AsUtf8(std::string_view bytes) {
    if (bytes.size() >= 2 && bytes[0] == '\xff' && bytes[1] == '\xfe') {
        return ValidUtf8(ToUtf8(Utf16LeUnits(bytes.substr(2))));
    }
    if (bytes.substr(0, 3) == "\xef\xbb\xbf") {
        bytes.remove_prefix(3);
    }
    return std::string(bytes);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// A quoted string at the start of text: its content, and text moved past it.
std::optional<std::string> TakeQuoted(std::string_view& text, std::string& error) {
    if (text.empty() || text.front() != '"') {
        error = "a quoted string was expected";
        return std::nullopt;
    }
    std::string out;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            text.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\') {
            if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) {
                error = "a backslash in a string must be followed by a backslash or a quote";
                return std::nullopt;
            }
            ++i;
        }
        out.push_back(text[i]);
    }
    error = "a string is not closed";
    return std::nullopt;
}

// "aa,bb,cc" into bytes.
std::optional<std::string> ParseHexList(std::string_view list, std::string& error) {
    std::string bytes;
    list = Trimmed(list);
    while (!list.empty()) {
        if (list.size() < 2 || HexDigit(list[0]) < 0 || HexDigit(list[1]) < 0) {
            error = "a hex byte list must be two-digit hex numbers separated by commas";
            return std::nullopt;
        }
        bytes.push_back(static_cast<char>(HexDigit(list[0]) * 16 + HexDigit(list[1])));
        list = TrimmedStart(list.substr(2));
        if (!list.empty()) {
            if (list.front() != ',') {
                error = "a hex byte list must be two-digit hex numbers separated by commas";
                return std::nullopt;
            }
            list = TrimmedStart(list.substr(1));
            if (list.empty()) {
                error = "a hex byte list ends with a comma";
                return std::nullopt;
            }
        }
    }
    return bytes;
}

// UTF-16LE bytes (with or without their NUL) to UTF-8 text without the NUL.
std::optional<std::string> TextFromUtf16Le(std::string_view bytes, std::string& error) {
    if (bytes.size() % 2 != 0) {
        error = "a string value in hex has an odd number of bytes";
        return std::nullopt;
    }
    std::u16string wide = Utf16LeUnits(bytes);
    if (const std::size_t nul = wide.find(u'\0'); nul != std::u16string::npos) {
        wide.resize(nul);
    }
    return ValidUtf8(ToUtf8(wide));
}

class Parser {
  public:
    explicit Parser(std::string_view bytes) : text_(AsUtf8(bytes)), lines_(SplitLines(text_)) {}

    RegistryFileParse Run() {
        RegistryFileParse result;
        if (auto failure = ParseAll(result.data)) {
            result.line = failure->line;
            result.error = std::move(failure->error);
            result.data = {};
            return result;
        }
        result.ok = true;
        return result;
    }

  private:
    std::optional<Failure> ParseAll(RegistryFileData& data) {
        if (lines_.empty()) {
            return Failure{0, "the file is empty"};
        }
        const std::string_view header = TrimmedEnd(lines_[0]);
        if (header == kOldHeader) {
            unicode_ = false;
        } else if (header != kRegistryFileHeader) {
            return Failure{1, "the first line is not \"" + std::string(kRegistryFileHeader) + "\""};
        }
        std::optional<std::string> key;
        for (std::size_t i = 1; i < lines_.size(); ++i) {
            const int lineNumber = static_cast<int>(i) + 1;
            const std::string_view line = TrimmedEnd(lines_[i]);
            if (line.empty() || line.front() == ';') {
                continue;
            }
            std::string error;
            if (line.front() == '[') {
                key = SectionKey(line, error);
                if (!key) {
                    return Failure{lineNumber, error};
                }
                data.CreateKey(*key);
                continue;
            }
            if (!key) {
                return Failure{lineNumber, "a value comes before any [key] line"};
            }
            std::string valueText(line);
            // Hex lists may go on over lines that end in a backslash.
            const bool hex = valueText.find("=hex") != std::string::npos;
            while (hex && !valueText.empty() && valueText.back() == '\\' && i + 1 < lines_.size()) {
                valueText.pop_back();
                valueText += TrimmedEnd(lines_[++i]);
            }
            if (!ParseValueLine(data, *key, valueText, error)) {
                return Failure{lineNumber, error};
            }
        }
        return std::nullopt;
    }

    std::optional<std::string> SectionKey(std::string_view line, std::string& error) const {
        if (line.back() != ']') {
            error = "a key line does not end with ]";
            return std::nullopt;
        }
        std::string_view path = line.substr(1, line.size() - 2);
        if (!path.empty() && path.front() == '-') {
            error = "key deletions are not part of a stored registry";
            return std::nullopt;
        }
        if (path.substr(0, kRoot.size()) != kRoot ||
            (path.size() > kRoot.size() && path[kRoot.size()] != '\\')) {
            error = "the key is not under HKEY_CLASSES_ROOT";
            return std::nullopt;
        }
        path.remove_prefix(std::min(path.size(), kRoot.size() + 1));
        if (RegistryFileData::CheckPath(path) != Registry::kSuccess) {
            error = "the key path has an empty or overlong part";
            return std::nullopt;
        }
        return std::string(path);
    }

    bool ParseValueLine(RegistryFileData& data, const std::string& key, std::string_view line,
                        std::string& error) const {
        std::string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else {
            auto quoted = TakeQuoted(line, error);
            if (!quoted) {
                return false;
            }
            name = std::move(*quoted);
        }
        line = TrimmedStart(line);
        if (line.empty() || line.front() != '=') {
            error = "a value name is not followed by =";
            return false;
        }
        line = TrimmedStart(line.substr(1));
        auto value = ParseData(line, error);
        if (!value) {
            return false;
        }
        data.SetValue(key, name, std::move(*value));
        return true;
    }

    std::optional<RegistryValue> ParseData(std::string_view text, std::string& error) const {
        if (text == "-") {
            error = "value deletions are not part of a stored registry";
            return std::nullopt;
        }
        if (!text.empty() && text.front() == '"') {
            auto quoted = TakeQuoted(text, error);
            if (!quoted) {
                return std::nullopt;
            }
            if (!TrimmedStart(text).empty()) {
                error = "there is more after a quoted value";
                return std::nullopt;
            }
            return RegistryValue{Registry::kString, std::move(*quoted)};
        }
        if (text.substr(0, 6) == "dword:") {
            return ParseDword(text.substr(6), error);
        }
        std::uint32_t type = Registry::kBinary;
        if (text.substr(0, 4) == "hex:") {
            text.remove_prefix(4);
        } else if (text.substr(0, 4) == "hex(") {
            const std::size_t close = text.find("):");
            if (close == std::string_view::npos || close == 4 || close > 12) {
                error = "a hex(type) value is malformed";
                return std::nullopt;
            }
            type = 0;
            for (char c : text.substr(4, close - 4)) {
                if (HexDigit(c) < 0) {
                    error = "a hex(type) value has a type that is not a hex number";
                    return std::nullopt;
                }
                type = type * 16 + static_cast<std::uint32_t>(HexDigit(c));
            }
            text.remove_prefix(close + 2);
        } else {
            error = "the value is not a quoted string, dword: or hex";
            return std::nullopt;
        }
        auto bytes = ParseHexList(text, error);
        if (!bytes) {
            return std::nullopt;
        }
        if (type == Registry::kString || type == Registry::kExpandString) {
            if (!unicode_) {
                // The older format keeps narrow strings.
                return RegistryValue{type, std::move(*bytes)};
            }
            auto textValue = TextFromUtf16Le(*bytes, error);
            if (!textValue) {
                return std::nullopt;
            }
            return RegistryValue{type, std::move(*textValue)};
        }
        return RegistryValue{type, std::move(*bytes)};
    }

    static std::optional<RegistryValue> ParseDword(std::string_view digits, std::string& error) {
        if (digits.empty() || digits.size() > 8) {
            error = "a dword value needs one to eight hex digits";
            return std::nullopt;
        }
        std::uint32_t number = 0;
        for (char c : digits) {
            if (HexDigit(c) < 0) {
                error = "a dword value needs one to eight hex digits";
                return std::nullopt;
            }
            number = number * 16 + static_cast<std::uint32_t>(HexDigit(c));
        }
        std::string bytes;
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
        }
        return RegistryValue{Registry::kDword, bytes};
    }

    std::string text_;
    std::vector<std::string_view> lines_;
    bool unicode_ = true;
};

}  // namespace

RegistryFileParse ParseRegistryFile(std::string_view bytes) {
    return Parser(bytes).Run();
}

}  // namespace folio::posix
