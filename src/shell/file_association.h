#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/desktop_association.h"
#include "platform/platform_traits.h"
#include "platform/registry.h"
#include "platform/text_codec.h"

namespace folio {

// Registers the program as the handler of a file type under HKEY_CLASSES_ROOT, and
// removes that registration. No registry status is acted on: a step that fails is
// passed over and the next one runs, and nothing already written is undone. After
// the registry the same association is made (or removed) in the desktop's own terms.
class FileAssociation {
  public:
    // applicationFolder is the folder that holds the running executable, exeName the
    // executable's file name without its extension.
    FileAssociation(Registry& registry, const TextCodec& codec, DesktopAssociation& desktop,
                    PlatformTraits traits, std::u16string applicationFolder,
                    std::u16string exeName);

    // Writes ".<extension>" -> identifier, the identifier's description, its icon, and
    // its open verb with the program's command line.
    void RegisterFileType(std::u16string_view identifier, std::u16string_view extension,
                          std::u16string_view description, std::u16string_view iconPath);

    // Deletes the identifier's key tree; the extension key stays.
    void UnregisterFileType(std::u16string_view identifier);

    // Creates the key (with any missing keys on its path) or opens it, and closes it.
    void CreateRegKey(std::u16string_view keyPath, Registry::Handle rootKey);

    // Opens the key under HKEY_CLASSES_ROOT, writes the one value, closes the key.
    void SetRegValue(std::u16string_view keyPath, std::u16string_view valueName,
                     std::u16string_view value, std::uint32_t type);

    // Writes a value to an open key and returns the registry's status.
    std::int32_t WriteRegValue(Registry::Handle key, std::u16string_view valueName,
                               std::uint32_t type, std::u16string_view value);

    // The command registered for opening a file: folder, separator, name, " %1".
    std::u16string OpenCommandLine() const;

  private:
    Registry& registry_;
    const TextCodec& codec_;
    DesktopAssociation& desktop_;
    PlatformTraits traits_;
    std::u16string applicationFolder_;
    std::u16string exeName_;
};

}  // namespace folio
