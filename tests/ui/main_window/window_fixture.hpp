#pragma once

#include "platform/folder_browser.hpp"
#include "platform/platform_services.hpp"
#include "platform/registry.hpp"
#include "support/fake_launcher.hpp"
#include "support/recording_msg_box.hpp"
#include "support/temp_dir.hpp"
#include "ui/main_window/focus_flags.hpp"
#include "ui/main_window/frm_install_patch.hpp"
#include "ui/settings_store.hpp"

#include <map>
#include <memory>
#include <string>
#include <tuple>

#include <QApplication>

#include <gtest/gtest.h>

namespace hotfix::test {

// The one application object of a test process; never destroyed, as Qt wants it to outlive every widget.
QApplication& testApplication();

// Text values under HKEY_LOCAL_MACHINE, as the registry would give them.
class FakeRegistry final : public RegistryApi {
public:
    void set(const std::string& key, const std::string& value, const std::string& text) {
        m_keys[key][value] = text;
    }

    long openKey(std::uint32_t rootKey, std::string_view keyPath, std::uint32_t access, Key& key) override;
    long queryValue(Key key, std::string_view valueName, std::uint32_t& type, std::span<std::byte> buffer,
                    std::uint32_t& size) override;
    void closeKey(Key key) override;
    std::string decodeText(std::string_view bytes) override { return std::string(bytes); }

    int openKeys = 0;

private:
    std::map<std::string, std::map<std::string, std::string>, std::less<>> m_keys;
    std::map<Key, std::string> m_open;
    Key m_next = 1;
};

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

class NoFolders final : public FolderBrowser {
public:
    std::vector<Drive> drives() override { return {{'C', "C:\\"}}; }
    std::optional<DriveError> checkDrive(char) override { return std::nullopt; }
    std::vector<std::string> subfolders(const std::string&) override { return {}; }
    std::string currentFolder() override { return "C:\\"; }
};

inline constexpr const char* kProductKey = "SOFTWARE\\Vantrel Software";
inline constexpr const char* kWindowsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// A main window over a package folder of its own, with a fixed clock and recorded message boxes.
class WindowTest : public ::testing::Test {
protected:
    WindowTest();
    ~WindowTest() override;

    // Writes the package's list files; nullptr leaves a list file out.
    void writeLists(const char* product, const char* windows);
    // Makes the window with the given box (the recording one unless said otherwise) and runs Form_Load.
    FrmInstallPatch& open(MsgBox* box = nullptr);
    // Shows the window and waits until it is the active window.
    void showAndActivate();

    TempDir package;
    std::unique_ptr<FileSystem> fs;
    RecordingMsgBox msgBox;
    FakeRegistry registry;
    MemorySettings settings;
    FakeLauncher launcher;
    NoFolders folders;
    LocalDateTime now{2005, 5, 1, 9, 7};
    int endRequests = 0;
    std::unique_ptr<FrmInstallPatch> window;
};

} // namespace hotfix::test
