#include "platform/posix/registry_file_data.h"

#include <algorithm>

#include "common/utf8.h"
#include "platform/registry.h"

namespace folio::posix {
namespace {

constexpr std::size_t kMaxKeyNameBytes = 255;

// Lower-cases ASCII letters.
std::string FoldName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

// As FoldName, and turns the separator into \x01, which sorts before any character a
// name may hold, so that the map's order is the tree order.
std::string Fold(std::string_view path) {
    std::string folded = FoldName(path);
    std::replace(folded.begin(), folded.end(), '\\', '\x01');
    return folded;
}

}  // namespace

std::int32_t RegistryFileData::CheckPath(std::string_view path) {
    if (path.empty()) {
        return Registry::kSuccess;
    }
    std::size_t partStart = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\') {
            const std::size_t length = i - partStart;
            if (length == 0) {
                return Registry::kBadPathname;
            }
            if (length > kMaxKeyNameBytes) {
                return Registry::kInvalidParameter;
            }
            partStart = i + 1;
        } else if (static_cast<unsigned char>(path[i]) < 0x20 || path[i] == '\x7f') {
            return Registry::kInvalidParameter;
        }
    }
    return Registry::kSuccess;
}

bool RegistryFileData::HasKey(std::string_view path) const {
    return FindKey(path) != nullptr;
}

const RegistryFileData::Key* RegistryFileData::FindKey(std::string_view path) const {
    if (path.empty()) {
        // The root always exists, even with nothing stored under it.
        static const Key kEmptyRoot{};
        const auto found = keys_.find(std::string());
        return found == keys_.end() ? &kEmptyRoot : &found->second;
    }
    const auto found = keys_.find(Fold(path));
    return found == keys_.end() ? nullptr : &found->second;
}

bool RegistryFileData::CreateKey(std::string_view path) {
    if (path.empty() || HasKey(path)) {
        return false;
    }
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\') {
            const std::string_view prefix = path.substr(0, i);
            keys_.try_emplace(Fold(prefix), Key{std::string(prefix), {}});
        }
    }
    return true;
}

bool RegistryFileData::SetValue(std::string_view path, std::string_view name, RegistryValue value) {
    if (!HasKey(path)) {
        return false;
    }
    if (value.type == Registry::kString || value.type == Registry::kExpandString) {
        // Text ends at its first NUL, and is kept as valid UTF-8, so that what is
        // stored is exactly what the file can carry and give back.
        value.data.resize(std::min(value.data.size(), value.data.find('\0')));
        value.data = ValidUtf8(value.data);
    }
    Key& key = keys_.try_emplace(Fold(path), Key{std::string(path), {}}).first->second;
    auto& slot = key.values[FoldName(name)];
    if (slot.first.empty()) {
        slot.first = std::string(name);
    }
    slot.second = std::move(value);
    return true;
}

bool RegistryFileData::DeleteTree(std::string_view path) {
    if (path.empty()) {
        const bool hadAnything = !keys_.empty();
        keys_.clear();
        return hadAnything;
    }
    const std::string folded = Fold(path);
    const auto first = keys_.find(folded);
    if (first == keys_.end()) {
        return false;
    }
    auto last = std::next(first);
    const std::string childPrefix = folded + '\x01';
    while (last != keys_.end() && last->first.compare(0, childPrefix.size(), childPrefix) == 0) {
        ++last;
    }
    keys_.erase(first, last);
    return true;
}

std::vector<const RegistryFileData::Key*> RegistryFileData::KeysInTreeOrder() const {
    std::vector<const Key*> ordered;
    ordered.reserve(keys_.size());
    for (const auto& [folded, key] : keys_) {
        ordered.push_back(&key);
    }
    return ordered;
}

}  // namespace folio::posix
