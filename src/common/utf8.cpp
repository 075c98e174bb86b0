#include "common/utf8.h"

#include <cstdint>

namespace folio {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
// Where the bytes that are not UTF-8 are kept: U+DC80 + byte, for bytes 0x80-0xFF
// (every byte below 0x80 is valid on its own).
constexpr char16_t kKeptByteBase = 0xDC00;

bool IsKeptByte(char16_t unit) {
    return unit >= 0xDC80 && unit <= 0xDCFF;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

// One character of UTF-8 at text[i]: its code point and length, or, when the
// bytes there are not valid UTF-8, the one byte at i on its own.
struct Decoded {
    char32_t cp = 0;
    size_t length = 1;
    bool valid = true;
};

Decoded DecodeAt(std::string_view text, size_t i) {
    const auto lead = static_cast<uint8_t>(text[i]);
    const Decoded stray{lead, 1, false};
    int extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        return {lead, 1, true};
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return stray;
    }
    if (i + static_cast<size_t>(extra) >= text.size()) {
        return stray;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto next = static_cast<uint8_t>(text[i + static_cast<size_t>(k)]);
        if ((next & 0xC0) != 0x80) {
            return stray;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return stray;
    }
    return {cp, static_cast<size_t>(extra) + 1, true};
}

void AppendHex(std::string& out, const char* prefix, char32_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += prefix;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out.push_back(kDigits[(value >> shift) & 0xF]);
    }
}

bool IsTerminalControl(char32_t cp) {
    return (cp >= 0x80 && cp <= 0x9F) || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

enum class Stray { Escaped, Replaced };

template <bool kForTerminal, Stray kStray = Stray::Escaped>
std::string Shown(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const Decoded d = DecodeAt(bytes, i);
        if (!d.valid && kStray == Stray::Replaced) {
            AppendUtf8(out, kReplacement);
        } else if (!d.valid) {
            AppendHex(out, "\\x", d.cp, 2);
        } else if (kForTerminal && (d.cp < 0x20 || d.cp == 0x7F)) {
            AppendHex(out, "\\x", d.cp, 2);
        } else if (kForTerminal && IsTerminalControl(d.cp)) {
            AppendHex(out, "\\u", d.cp, 4);
        } else {
            out.append(bytes.substr(i, d.length));
        }
        i += d.length;
    }
    return out;
}

}  // namespace

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            char32_t cp = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            AppendUtf8(out, cp);
            ++i;
        } else if (IsKeptByte(text[i])) {
            out.push_back(static_cast<char>(unit - kKeptByteBase));
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const Decoded d = DecodeAt(text, i);
        if (d.valid) {
            AppendUtf16(out, d.cp);
        } else {
            out.push_back(static_cast<char16_t>(kKeptByteBase + d.cp));
        }
        i += d.length;
    }
    return out;
}

std::u16string ShownText(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const bool paired = i > 0 && text[i - 1] >= 0xD800 && text[i - 1] <= 0xDBFF;
        if (IsKeptByte(text[i]) && !paired) {
            std::string hex;
            AppendHex(hex, "\\x", text[i] - kKeptByteBase, 2);
            out.append(hex.begin(), hex.end());
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string ShownUtf8(std::string_view bytes) {
    return Shown<false>(bytes);
}

std::string ValidUtf8(std::string_view bytes) {
    return Shown<false, Stray::Replaced>(bytes);
}

std::string TerminalText(std::string_view bytes) {
    return Shown<true>(bytes);
}

}  // namespace folio
