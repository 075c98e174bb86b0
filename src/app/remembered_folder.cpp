#include "app/remembered_folder.h"

#include "platform/main_window.h"

namespace folio::app {
namespace {
constexpr char16_t kFolderKey[] = u"fo";
}

std::u16string FolderOf(const std::u16string& path, const PlatformTraits& traits) {
    const auto last = path.rfind(traits.separator);
    if (last == std::u16string::npos) {
        return {};
    }
    return path.substr(0, last + 1);
}

std::u16string ReadRememberedFolder(SettingsStore& store, const PlatformTraits& traits,
                                    const std::u16string& section) {
    return store.GetSetting(kAppTitle, section, kFolderKey, traits.defaultFolder);
}

void RememberFolderOf(SettingsStore& store, const PlatformTraits& traits,
                      const std::u16string& section, const std::u16string& path) {
    store.SaveSetting(kAppTitle, section, kFolderKey, FolderOf(path, traits));
}

}  // namespace folio::app
