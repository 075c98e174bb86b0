#include "shell/file_association.h"

#include <exception>
#include <utility>

namespace folio {
namespace {

// Only the specific-rights part of full access: query and set value, create and
// enumerate subkeys, notify, create link.
constexpr std::uint32_t kAccess = 63;
constexpr std::uint32_t kNonVolatile = 0;
constexpr std::uint32_t kReserved = 0;

// The desktop side is a courtesy beside the registry: whatever it raises is passed
// over, as registry failures are.
template <typename Step>
void PassOverFailures(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

}  // namespace

FileAssociation::FileAssociation(Registry& registry, const TextCodec& codec,
                                 DesktopAssociation& desktop, PlatformTraits traits,
                                 std::u16string applicationFolder, std::u16string exeName)
    : registry_(registry),
      codec_(codec),
      desktop_(desktop),
      traits_(std::move(traits)),
      applicationFolder_(std::move(applicationFolder)),
      exeName_(std::move(exeName)) {}

std::u16string FileAssociation::OpenCommandLine() const {
    // Joined as they are: the folder gets its separator whatever it ends with, and
    // neither the program nor the placeholder is quoted.
    return applicationFolder_ + traits_.separator + exeName_ + u" %1";
}

void FileAssociation::RegisterFileType(std::u16string_view identifier,
                                       std::u16string_view extension,
                                       std::u16string_view description,
                                       std::u16string_view iconPath) {
    const std::u16string command = OpenCommandLine();
    const std::u16string extensionKey = u"." + std::u16string(extension);
    const std::u16string id(identifier);

    CreateRegKey(extensionKey, Registry::kClassesRoot);
    SetRegValue(extensionKey, u"", identifier, Registry::kString);
    CreateRegKey(id + u"\\shell\\open\\command", Registry::kClassesRoot);
    CreateRegKey(id + u"\\DefaultIcon", Registry::kClassesRoot);
    SetRegValue(id, u"", description, Registry::kString);
    SetRegValue(id + u"\\shell\\open", u"", u"Open MDI", Registry::kString);
    SetRegValue(id + u"\\shell\\open\\command", u"", command, Registry::kString);
    SetRegValue(id + u"\\DefaultIcon", u"", iconPath, Registry::kString);

    DesktopAssociation::FileType fileType{
        id,
        std::u16string(extension),
        std::u16string(description),
        applicationFolder_ + traits_.separator + exeName_ + traits_.exeSuffix,
        std::u16string(iconPath),
    };
    PassOverFailures([&] { desktop_.Register(fileType); });
}

void FileAssociation::UnregisterFileType(std::u16string_view identifier) {
    registry_.DeleteTree(Registry::kClassesRoot, codec_.ToAnsi(identifier));
    PassOverFailures([&] { desktop_.Unregister(identifier); });
}

void FileAssociation::CreateRegKey(std::u16string_view keyPath, Registry::Handle rootKey) {
    const Registry::CreateResult created = registry_.CreateKey(
        rootKey, codec_.ToAnsi(keyPath), kReserved, nullptr, kNonVolatile, kAccess);
    registry_.CloseKey(created.key);
}

void FileAssociation::SetRegValue(std::u16string_view keyPath, std::u16string_view valueName,
                                  std::u16string_view value, std::uint32_t type) {
    // Always under HKEY_CLASSES_ROOT. A key that cannot be opened leaves handle 0, on
    // which the write and the close fail: nothing is written.
    const Registry::OpenResult opened =
        registry_.OpenKey(Registry::kClassesRoot, codec_.ToAnsi(keyPath), kNonVolatile, kAccess);
    WriteRegValue(opened.key, valueName, type, value);
    registry_.CloseKey(opened.key);
}

std::int32_t FileAssociation::WriteRegValue(Registry::Handle key, std::u16string_view valueName,
                                            std::uint32_t type, std::u16string_view value) {
    if (type != Registry::kString) {
        // Strings are the only values this program writes.
        return Registry::kInvalidParameter;
    }
    std::u16string terminated(value);
    terminated.push_back(u'\0');
    const std::string bytes = codec_.ToAnsi(terminated);
    return registry_.SetValue(key, codec_.ToAnsi(valueName), kReserved, type,
                              reinterpret_cast<const std::uint8_t*>(bytes.data()),
                              static_cast<std::uint32_t>(bytes.size()));
}

}  // namespace folio
