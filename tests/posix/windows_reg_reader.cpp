#include "posix/windows_reg_reader.h"

#include <sstream>

namespace folio::testing {
namespace {

// Reads a quoted token starting at text[pos] == '"'; pos ends after the closing quote.
bool ReadQuoted(const std::string& text, std::size_t& pos, std::string& out) {
    out.clear();
    bool escaped = false;
    for (++pos; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (escaped) {
            if (c != '\\' && c != '"') {
                return false;
            }
            out.push_back(c);
            escaped = false;
        } else if (c == '\\') {
            escaped = true;
        } else if (c == '"') {
            ++pos;
            return true;
        } else {
            out.push_back(c);
        }
    }
    return false;
}

}  // namespace

bool ImportWindowsRegFile(std::string_view text, ImportedRegistry& out, std::string& reason) {
    std::istringstream in{std::string(text)};
    std::string line;
    int number = 0;
    std::string section;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (number == 1) {
            if (line != "Windows Registry Editor Version 5.00") {
                reason = "header: " + line;
                return false;
            }
            continue;
        }
        if (line.empty()) {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') {
                reason = "section at line " + std::to_string(number);
                return false;
            }
            section = line.substr(1, line.size() - 2);
            out.keys[section];
            continue;
        }
        if (section.empty()) {
            reason = "value outside a section at line " + std::to_string(number);
            return false;
        }
        std::size_t pos = 0;
        std::string name;
        if (line[0] == '@') {
            pos = 1;
        } else if (line[0] != '"' || !ReadQuoted(line, pos, name)) {
            reason = "value name at line " + std::to_string(number);
            return false;
        }
        std::string data;
        if (pos >= line.size() || line[pos] != '=' || pos + 1 >= line.size() ||
            line[pos + 1] != '"') {
            reason = "not a string value at line " + std::to_string(number);
            return false;
        }
        ++pos;
        if (!ReadQuoted(line, pos, data) || pos != line.size()) {
            reason = "string data at line " + std::to_string(number);
            return false;
        }
        out.keys[section][name] = data;
    }
    return true;
}

}  // namespace folio::testing
