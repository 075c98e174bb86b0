#include "app/remembered_folder.h"

#include "common/error.h"
#include "common/utf8.h"
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

std::u16string RememberedFolderOrDefault(SettingsStore& store, const PlatformTraits& traits,
                                         const std::u16string& section, MessageBox& messages) {
    try {
        return ReadRememberedFolder(store, traits, section);
    } catch (const Error& e) {
        ReportSettingsProblem(messages, e, u"The dialog starts in " + traits.defaultFolder);
        return traits.defaultFolder;
    }
}

void ReportSettingsProblem(MessageBox& messages, const std::exception& problem,
                           std::u16string_view consequence) {
    messages.Show(FromUtf8(problem.what()) + u"\n\n" + std::u16string(consequence), kAppTitle,
                  MessageIcon::Error);
}

void RememberFolderOf(SettingsStore& store, const PlatformTraits& traits,
                      const std::u16string& section, const std::u16string& path) {
    store.SaveSetting(kAppTitle, section, kFolderKey, FolderOf(path, traits));
}

}  // namespace folio::app
