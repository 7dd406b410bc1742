#pragma once

#include "platform/folder_browser.hpp"
#include "platform/platform_services.hpp"
#include "platform/run_lock.hpp"
#include "platform/settings_store.hpp"
#include "support/fake_folders.hpp"
#include "support/fake_launcher.hpp"
#include "support/fake_registry.hpp"
#include "support/memory_settings.hpp"
#include "support/recording_msg_box.hpp"
#include "support/temp_dir.hpp"
#include "ui/main_window/focus_flags.hpp"
#include "ui/main_window/frm_install_patch.hpp"

#include <map>
#include <memory>
#include <string>
#include <tuple>

#include <QApplication>

#include <gtest/gtest.h>

namespace hotfix::test {

// The one application object of a test process; never destroyed, as Qt wants it to outlive every widget.
QApplication& testApplication();

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
    FakeFolders folders;
    LocalDateTime now{2005, 5, 1, 9, 7};
    int endRequests = 0;
    // Where the window records its installs; empty keeps no record.
    std::string recordFolder;
    // The machine's one-run-at-a-time lock; none by default.
    RunLock* runLock = nullptr;
    std::unique_ptr<FrmInstallPatch> window;
};

} // namespace hotfix::test
