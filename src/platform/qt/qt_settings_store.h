#pragma once

#include <QString>

#include "platform/settings_store.h"

namespace folio::qt {

// Per-user settings in an INI file at $XDG_CONFIG_HOME/<app>/<app>.conf (by default
// under ~/.config), one [section] per section.
class QtSettingsStore : public SettingsStore {
  public:
    std::u16string GetSetting(const std::u16string& app, const std::u16string& section,
                              const std::u16string& key,
                              const std::u16string& defaultValue) override;
    void SaveSetting(const std::u16string& app, const std::u16string& section,
                     const std::u16string& key, const std::u16string& value) override;

    // Where the settings of `app` are kept.
    static QString FilePath(const std::u16string& app);
};

}  // namespace folio::qt
