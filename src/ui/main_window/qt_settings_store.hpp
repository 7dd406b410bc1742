#pragma once

#include "platform/settings_store.hpp"

#include <memory>

#include <QString>

class QSettings;

namespace hotfix {

// The per-user settings store: the registry on Windows, an INI file elsewhere.
class QtSettingsStore final : public SettingsStore {
public:
    // The user's own store.
    QtSettingsStore();
    // A store kept in the given INI file.
    explicit QtSettingsStore(const QString& iniFile);
    ~QtSettingsStore() override;

    std::string GetSetting(std::string_view application, std::string_view section,
                           std::string_view key) override;
    void SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                     std::string_view value) override;

    // The store's path of a setting. The application is a folder's path: its "\" and "/" would otherwise
    // split it into groups.
    static QString settingPath(std::string_view application, std::string_view section, std::string_view key);

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace hotfix
