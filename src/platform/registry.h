#pragma once

#include <cstdint>
#include <string_view>

namespace folio {

// The system registry, with the meaning of the Windows registry's narrow entry points:
// key paths, value names and string data are bytes in the platform's narrow code page,
// results are Windows status numbers, and key handles are 32-bit numbers of which the
// predefined roots are fixed values. Nothing here throws; every failure is a status.
class Registry {
  public:
    using Handle = std::uint32_t;

    // Predefined root. Handle 0 is never a valid key.
    static constexpr Handle kClassesRoot = 0x80000000u;

    // Statuses.
    static constexpr std::int32_t kSuccess = 0;
    static constexpr std::int32_t kFileNotFound = 2;  // missing key
    static constexpr std::int32_t kAccessDenied = 5;  // no right to the key or its store
    static constexpr std::int32_t kInvalidHandle = 6;
    static constexpr std::int32_t kWriteFault = 29;  // the store could not be written
    static constexpr std::int32_t kInvalidParameter = 87;
    static constexpr std::int32_t kDiskFull = 112;
    static constexpr std::int32_t kBadPathname = 161;  // empty part in a key path
    static constexpr std::int32_t kInvalidData = 13;   // the store is damaged
    static constexpr std::int32_t kKeyDeleted = 1018;  // the handle's key was deleted

    // Access rights.
    static constexpr std::uint32_t kQueryValue = 0x1;
    static constexpr std::uint32_t kSetValue = 0x2;
    static constexpr std::uint32_t kCreateSubKey = 0x4;

    // Value types.
    static constexpr std::uint32_t kString = 1;  // REG_SZ
    static constexpr std::uint32_t kExpandString = 2;
    static constexpr std::uint32_t kBinary = 3;
    static constexpr std::uint32_t kDword = 4;

    // Dispositions of CreateKey.
    static constexpr std::uint32_t kCreatedNewKey = 1;
    static constexpr std::uint32_t kOpenedExistingKey = 2;

    struct CreateResult {
        std::int32_t status = kSuccess;
        Handle key = 0;  // 0 when the status is not success
        std::uint32_t disposition = 0;
    };
    struct OpenResult {
        std::int32_t status = kSuccess;
        Handle key = 0;  // 0 when the status is not success
    };

    virtual ~Registry() = default;

    // RegCreateKeyExA: opens the key below root, creating it and any missing keys on its
    // path. keyClass may be null (no class); there are no security attributes.
    virtual CreateResult CreateKey(Handle root, std::string_view subKey, std::uint32_t reserved,
                                   const char* keyClass, std::uint32_t options,
                                   std::uint32_t access) = 0;

    // RegOpenKeyExA: opens an existing key; a missing key fails with kFileNotFound.
    virtual OpenResult OpenKey(Handle root, std::string_view subKey, std::uint32_t options,
                               std::uint32_t access) = 0;

    // RegSetValueExA: writes size bytes from data as the named value (empty name: the
    // key's default value). For string types the bytes include the terminating NUL.
    virtual std::int32_t SetValue(Handle key, std::string_view valueName, std::uint32_t reserved,
                                  std::uint32_t type, const std::uint8_t* data,
                                  std::uint32_t size) = 0;

    // RegCloseKey.
    virtual std::int32_t CloseKey(Handle key) = 0;

    // SHDeleteKeyA: deletes the key with all its subkeys and values.
    virtual std::int32_t DeleteTree(Handle root, std::string_view subKey) = 0;
};

}  // namespace folio
