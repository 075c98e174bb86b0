#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace folio::posix {

// One registry value as the stand-in keeps it. String types (REG_SZ, REG_EXPAND_SZ)
// hold their text in UTF-8 without the terminating NUL; other types hold raw bytes.
struct RegistryValue {
    std::uint32_t type = 0;
    std::string data;
    bool operator==(const RegistryValue&) const = default;
};

// The keys and values below one registry root. Key paths are relative to the root,
// parts separated by a backslash, "" being the root itself. Names of keys and values
// compare without regard to ASCII case, as the Windows registry's do, and keep the
// case they were first given.
class RegistryFileData {
  public:
    struct Key {
        std::string path;
        // Keyed by the folded value name; each holds the name as given and its value.
        std::map<std::string, std::pair<std::string, RegistryValue>> values;
        bool operator==(const Key&) const = default;
    };

    // Checks a key path: 0, or the Windows status for a bad one (an empty part, a part
    // over 255 bytes, control characters, which the text form cannot carry).
    static std::int32_t CheckPath(std::string_view path);

    bool HasKey(std::string_view path) const;
    const Key* FindKey(std::string_view path) const;

    // Creates the key and any missing keys on its path; true when it was new.
    bool CreateKey(std::string_view path);

    // Sets a value of an existing key; false when the key does not exist. String text
    // is cut at its first NUL and made valid UTF-8.
    bool SetValue(std::string_view path, std::string_view name, RegistryValue value);

    // Deletes the key with its subkeys and values; false when it does not exist. The
    // root itself cannot be deleted, only emptied.
    bool DeleteTree(std::string_view path);

    // Every key, parents before their subkeys, siblings in name order.
    std::vector<const Key*> KeysInTreeOrder() const;

    bool operator==(const RegistryFileData&) const = default;

  private:
    std::map<std::string, Key> keys_;  // by folded path, in tree order
};

}  // namespace folio::posix
