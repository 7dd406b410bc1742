#pragma once

#include <string>
#include <string_view>

namespace hotfix {

// The per-user settings store, keyed by application, section and key. A missing setting reads as empty.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::string GetSetting(std::string_view application, std::string_view section,
                                   std::string_view key) = 0;
    virtual void SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                             std::string_view value) = 0;
};

} // namespace hotfix
