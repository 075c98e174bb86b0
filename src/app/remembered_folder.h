#pragma once

#include <string>

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
// Remembers the folder of `path` in `section`, unchecked.
void RememberFolderOf(SettingsStore& store, const PlatformTraits& traits,
                      const std::u16string& section, const std::u16string& path);

}  // namespace folio::app
