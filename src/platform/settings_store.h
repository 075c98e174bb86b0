#pragma once

#include <string>

namespace folio {

// The per-user settings store: strings addressed by application, section and key.
// A store that cannot be read or written raises folio::Error.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // The stored value, or `defaultValue` while none has been stored.
    virtual std::u16string GetSetting(const std::u16string& app, const std::u16string& section,
                                      const std::u16string& key,
                                      const std::u16string& defaultValue) = 0;
    virtual void SaveSetting(const std::u16string& app, const std::u16string& section,
                             const std::u16string& key, const std::u16string& value) = 0;
};

}  // namespace folio
