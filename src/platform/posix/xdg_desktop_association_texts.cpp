#include "platform/posix/xdg_desktop_association_texts.h"

#include <cstdio>
#include <initializer_list>
#include <vector>

#include "platform/posix/file_association.h"

namespace folio::posix {
namespace {

constexpr std::string_view kDefaultGroup = "[Default Applications]";
constexpr std::string_view kReservedInExec = " \t\n\"'\\><~|&;$*?#()`";

struct Replacement {
    char c;
    std::string_view with;
};

std::string Replaced(std::string_view text, std::initializer_list<Replacement> replacements) {
    std::string out;
    for (char c : text) {
        const Replacement* found = nullptr;
        for (const Replacement& r : replacements) {
            if (r.c == c) {
                found = &r;
            }
        }
        if (found != nullptr) {
            out += found->with;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// A desktop entry string value: backslash and control characters escaped.
std::string EntryString(std::string_view text) {
    return Replaced(text, {{'\\', "\\\\"}, {'\n', "\\n"}, {'\t', "\\t"}, {'\r', "\\r"}});
}

std::string XmlEscaped(std::string_view text) {
    return Replaced(text, {{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}});
}

std::vector<std::string> Lines(std::string_view text) {
    const std::vector<std::string_view> views = SplitLines(text);
    return {views.begin(), views.end()};
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out.push_back('\n');
    }
    return out;
}

bool IsGroupHeader(std::string_view line) {
    line = Trimmed(line);
    return !line.empty() && line.front() == '[';
}

// The key of a "key=value" line, or empty for any other line.
std::string_view KeyOf(std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || Trimmed(line).front() == '#') {
        return {};
    }
    return Trimmed(line.substr(0, equals));
}

// Calls visit(index) for every line of a [Default Applications] group whose key is
// the type.
template <typename Visit>
void ForEachDefaultLine(const std::vector<std::string>& lines, std::string_view mimeType,
                        Visit&& visit) {
    bool inDefaults = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (IsGroupHeader(lines[i])) {
            inDefaults = Trimmed(lines[i]) == kDefaultGroup;
        } else if (inDefaults && !Trimmed(lines[i]).empty() && KeyOf(lines[i]) == mimeType) {
            visit(i);
        }
    }
}

}  // namespace

std::string DesktopExecArgument(std::string_view argument) {
    std::string quoted;
    const bool needsQuotes = argument.find_first_of(kReservedInExec) != std::string_view::npos;
    for (char c : argument) {
        if (c == '%') {
            quoted += "%%";
            continue;
        }
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            quoted.push_back('\\');
        }
        quoted.push_back(c);
    }
    if (needsQuotes) {
        quoted = "\"" + quoted + "\"";
    }
    return EntryString(quoted);
}

std::string DesktopEntryText(const DesktopEntryFields& fields) {
    std::string text = "[Desktop Entry]\n";
    text += "Type=Application\n";
    text += "Name=" + EntryString(fields.name) + "\n";
    text += "GenericName=Document Image Viewer\n";
    text += "Comment=View, print and export MDI document images\n";
    text += "Exec=" + DesktopExecArgument(fields.program) + " %f\n";
    text += "Icon=" + EntryString(fields.icon) + "\n";
    text += "Terminal=false\n";
    text += "MimeType=" + EntryString(fields.mimeType) + ";\n";
    text += "Categories=Graphics;Viewer;\n";
    return text;
}

std::string MimePackageText(const MimePackageFields& fields) {
    std::string magic;
    for (unsigned char byte : fields.magic) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
        magic += escaped;
    }
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    text += "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    text += "  <mime-type type=\"" + XmlEscaped(fields.mimeType) + "\">\n";
    text += "    <comment>" + XmlEscaped(fields.comment) + "</comment>\n";
    text += "    <generic-icon name=\"image-x-generic\"/>\n";
    text += "    <glob pattern=\"" + XmlEscaped(fields.glob) + "\"/>\n";
    text += "    <magic priority=\"50\">\n";
    text += "      <match type=\"string\" offset=\"0\" value=\"" + magic + "\"/>\n";
    text += "    </magic>\n";
    text += "  </mime-type>\n";
    text += "</mime-info>\n";
    return text;
}

std::string WithDefaultApplication(std::string_view mimeapps, std::string_view mimeType,
                                   std::string_view desktopFile) {
    std::vector<std::string> lines = Lines(mimeapps);
    const std::string entry = std::string(mimeType) + "=" + std::string(desktopFile) + ";";
    bool replaced = false;
    ForEachDefaultLine(lines, mimeType, [&](std::size_t i) {
        lines[i] = entry;
        replaced = true;
    });
    if (replaced) {
        return Joined(lines);
    }
    // Into the first [Default Applications] group, after its last non-blank line.
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (Trimmed(lines[i]) != kDefaultGroup) {
            continue;
        }
        std::size_t insertAt = i + 1;
        for (std::size_t j = i + 1; j < lines.size() && !IsGroupHeader(lines[j]); ++j) {
            if (!Trimmed(lines[j]).empty()) {
                insertAt = j + 1;
            }
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
        return Joined(lines);
    }
    if (!lines.empty() && !Trimmed(lines.back()).empty()) {
        lines.emplace_back();
    }
    lines.emplace_back(kDefaultGroup);
    lines.push_back(entry);
    return Joined(lines);
}

std::string WithoutDefaultApplication(std::string_view mimeapps, std::string_view mimeType,
                                      std::string_view desktopFile) {
    std::vector<std::string> lines = Lines(mimeapps);
    std::vector<bool> drop(lines.size(), false);
    bool changed = false;
    ForEachDefaultLine(lines, mimeType, [&](std::size_t i) {
        const std::string& line = lines[i];
        std::string_view list = line;
        list.remove_prefix(line.find('=') + 1);
        std::string kept;
        bool removed = false;
        while (!list.empty()) {
            const std::size_t semicolon = list.find(';');
            const std::string_view app = Trimmed(list.substr(0, semicolon));
            if (app == desktopFile) {
                removed = true;
            } else if (!app.empty()) {
                kept += std::string(app) + ";";
            }
            list.remove_prefix(semicolon == std::string_view::npos ? list.size() : semicolon + 1);
        }
        if (!removed) {
            return;
        }
        changed = true;
        if (kept.empty()) {
            drop[i] = true;
        } else {
            lines[i] = std::string(mimeType) + "=" + kept;
        }
    });
    if (!changed) {
        return std::string(mimeapps);
    }
    std::vector<std::string> keptLines;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!drop[i]) {
            keptLines.push_back(std::move(lines[i]));
        }
    }
    return Joined(keptLines);
}

}  // namespace folio::posix
