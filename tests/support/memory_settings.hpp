#pragma once

#include "platform/settings_store.hpp"

#include <map>
#include <string>
#include <tuple>

namespace hotfix::test {

// The per-user settings store, kept in memory; it counts the reads.
class MemorySettings final : public SettingsStore {
public:
    std::string GetSetting(std::string_view application, std::string_view section,
                           std::string_view key) override {
        ++reads;
        const auto found = values.find({std::string(application), std::string(section), std::string(key)});
        return found == values.end() ? std::string() : found->second;
    }
    void SaveSetting(std::string_view application, std::string_view section, std::string_view key,
                     std::string_view value) override {
        values[{std::string(application), std::string(section), std::string(key)}] = std::string(value);
    }

    std::map<std::tuple<std::string, std::string, std::string>, std::string> values;
    int reads = 0;
};

} // namespace hotfix::test
