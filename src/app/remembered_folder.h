#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "platform/message_box.h"
#include "platform/platform_traits.h"
#include "platform/settings_store.h"

namespace folio::app {

// Sections of the remembered folders; both use the key "fo".
inline constexpr char16_t kOpenFolderSection[] = u"open";
inline constexpr char16_t kSaveFolderSection[] = u"save";

// `path` up to and including its last separator; empty when it holds none.
std::u16string FolderOf(const std::u16string& path, const PlatformTraits& traits);

// The folder remembered in `section`, or the platform's default folder.
std::u16string ReadRememberedFolder(SettingsStore& store, const PlatformTraits& traits,
                                    const std::u16string& section);
// The same, except that a store that cannot be read is reported in a message box and
// the dialog then starts in the platform's default folder.
std::u16string RememberedFolderOrDefault(SettingsStore& store, const PlatformTraits& traits,
                                         const std::u16string& section, MessageBox& messages);
// Tells the user that the settings store failed and what follows from it.
void ReportSettingsProblem(MessageBox& messages, const std::exception& problem,
                           std::u16string_view consequence);
// Remembers the folder of `path` in `section`, unchecked.
void RememberFolderOf(SettingsStore& store, const PlatformTraits& traits,
                      const std::u16string& section, const std::u16string& path);

}  // namespace folio::app
