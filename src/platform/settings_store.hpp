#pragma once

#include <string>
#include <string_view>

namespace hotfix {

// Where a setting is kept under its application.
struct SettingName {
    std::string_view section;
    std::string_view key;
};

// The one setting of the installer: the product-family root last chosen in the folder picker, kept per
// program folder. The picker writes it and start-up reads it back; one name serves both, so that a typo
// cannot lose the remembered root.
inline constexpr SettingName kRootSetting{"PatchVantrel", "FrmInstallPatchTxtPath"};

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
