#include "engine/file_lists.hpp"
#include "engine/install_run.hpp"
#include "engine/messages.hpp"
#include "platform/platform_services.hpp"
#include "platform/win32/win32_test_tools.hpp"
#include "platform/win32/win32_text.hpp"
#include "support/code_pages.hpp"
#include "support/fake_installer_window.hpp"
#include "support/recording_msg_box.hpp"
#include "support/temp_dir.hpp"
#include "support/watched_launcher.hpp"

#include <atomic>
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hotfix {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WatchedLauncher;

constexpr const wchar_t* kClassKey = L"Software\\Classes\\CLSID\\{6F1E5C2A-4B7D-4E29-9C1A-20050501C0DE}";

std::optional<std::wstring> registeredText(const wchar_t* name) {
    std::wstring text(MAX_PATH * 2, L'\0');
    DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const std::wstring key = std::wstring(kClassKey) + L"\\InprocServer32";
    if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text.data(), &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    text.resize(size / sizeof(wchar_t) - 1);
    return text;
}

// A real hot fix of a real COM library: the install run replaces it, and its script runs through cmd and
// regsvr32, which call into the new library.
TEST(Win32Registration, replacedLibraryIsRegisteredThroughCmdAndRegsvr32) {
    TempDir dir;
    const fs::path fixtures = test::executableFolder();
    // Blanks in both the program folder and the product root, as in C:\Program Files; characters that cmd
    // acts on in the program folder, and a library folder whose name is not ASCII.
    const fs::path programFolder = dir.path() / L"Hot Fix & 100%OS% (2)!";
    const fs::path root = dir.path() / "Program Files" / L"Vantrel Caf\u00e9";
    fs::create_directories(programFolder / "Setup" / "Vtrl" / "Common");
    fs::create_directories(root / "Common");
    test::writeFile(programFolder / "Setup" / "InstallPatch.BLR", "Common\\comfix.dll");
    fs::copy_file(fixtures / "com_fixture_build2.dll",
                  programFolder / "Setup" / "Vtrl" / "Common" / "comfix.dll");
    fs::copy_file(fixtures / "com_fixture_build1.dll", root / "Common" / "comfix.dll");

    ::RegDeleteTreeW(HKEY_CURRENT_USER, kClassKey);
    const std::wstring regsvr32 = test::systemFolder() + L"\\regsvr32.exe";
    ASSERT_EQ(test::runAndWait(regsvr32, L"/s \"" + (root / "Common" / "comfix.dll").wstring() + L"\""), 0ul);
    ASSERT_EQ(registeredText(L"Build"), L"1");

    auto files = makeFileSystem();
    test::RecordingMsgBox boxes;
    WatchedLauncher launcher(makeProcessLauncher());
    const EngineServices services{win32::narrow(programFolder.wstring()), *files, boxes, launcher,
                                  test::machineCodePages()};
    test::FakeInstallerWindow window;
    window.TxtPath = win32::narrow(root.wstring());
    window.TxtWinPath = (dir.path() / "WINNT").string();
    window.chkRegisterDlls = true;
    window.chkShowAfterReg = false; // regsvr32 /s: no box waits for a person
    window.chkCloseAfterInstallation = false;
    ASSERT_TRUE(
        LoadListFile(Side::Product, {services.programFolder, *files, boxes, services.codePages}, window));

    runInstall(window, services);
    EXPECT_THAT(boxes.shown, ::testing::ElementsAre(messages::hotFixApplied()));
    ASSERT_EQ(launcher.started.size(), 1U);
    ASSERT_TRUE(test::waitUntil([&] { return launcher.ended == 1; }, std::chrono::seconds(60)));

    EXPECT_EQ(registeredText(L"Build"), L"2");
    EXPECT_EQ(registeredText(nullptr), (root / "Common" / "comfix.dll").wstring());
    EXPECT_TRUE(fs::exists(root / "Common" / "comfix.dll_backup"));
    // The script removed itself, before the installer learnt that its interpreter had ended.
    EXPECT_TRUE(launcher.goneAtExit);
    EXPECT_FALSE(fs::exists(programFolder / "Register.bat"));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kClassKey);
}

} // namespace
} // namespace hotfix
