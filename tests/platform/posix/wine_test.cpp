// Tests against a real Wine prefix: the registry as `wine reg` writes it, scripts run by Wine's own cmd,
// and a whole install run on the prefix's drive C:.
#include "engine/file_lists.hpp"
#include "engine/install_run.hpp"
#include "engine/messages.hpp"
#include "platform/platform_services.hpp"
#include "platform/reg_module.hpp"
#include "post_box.hpp"
#include "support/fake_installer_window.hpp"
#include "support/recording_msg_box.hpp"
#include "support/temp_dir.hpp"
#include "wine_environment.hpp"

#include <chrono>

#include <gtest/gtest.h>

namespace hotfix {
namespace {

namespace fs = std::filesystem;
using test::PostBox;
using namespace std::chrono_literals;
using test::WineEnvironment;

[[maybe_unused]] const auto* const kWine = ::testing::AddGlobalTestEnvironment(new WineEnvironment);

constexpr std::uint32_t kLocalMachine = 0x80000002u;

fs::path driveC() {
    return fs::path(WineEnvironment::prefix()) / "drive_c";
}

TEST(WineRegistry, valuesWrittenByWineAreReadAsTheReaderPromises) {
    HOTFIX_REQUIRE_WINE();
    const std::string key = "HKLM\\Software\\Vantrel Software";
    const auto add = [&](const char* name, const char* type, const std::string& data) {
        EXPECT_EQ(WineEnvironment::wine({"reg", "add", key, "/v", name, "/t", type, "/d", data, "/f"}), 0)
            << name;
    };
    add("QXINSTALLDIR", "REG_SZ", "C:\\Program Files\\Vantrel");
    add("Count", "REG_DWORD", "42");
    add("Big", "REG_DWORD", "305419896");
    add("Expandable", "REG_EXPAND_SZ", "%SystemRoot%\\Vantrel");
    add("Fits", "REG_SZ", std::string(1023, 'f'));
    add("TooLong", "REG_SZ", std::string(1500, 'x'));
    add("Empty", "REG_SZ", "");
    EXPECT_EQ(WineEnvironment::wine({"reg", "add", "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion",
                                     "/v", "PathName", "/t", "REG_SZ", "/d", "C:\\windows", "/f"}),
              0);
    WineEnvironment::flushRegistry();

    const auto registry = makeRegistry();
    const auto read = [&](std::string_view keyPath, std::string_view name) {
        std::string text = "before";
        const bool found = RegModule::ReadRegValue(*registry, kLocalMachine, keyPath, name, text);
        return std::make_pair(found, text);
    };
    using Result = std::pair<bool, std::string>;
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "QXINSTALLDIR"), Result(true, "C:\\Program Files\\Vantrel"));
    EXPECT_EQ(read("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "PathName"),
              Result(true, "C:\\windows"));
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Count"), Result(true, "&h00002A"));
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Big"), Result(true, "&h12345678"));
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Expandable"), Result(true, "before"));
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Fits"), Result(true, std::string(1023, 'f')));
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "TooLong"), Result(false, "before"));
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Empty"), Result(true, ""));
    EXPECT_EQ(read("SOFTWARE\\Vantrel Software", "Missing"), Result(false, "before"));
    EXPECT_EQ(read("SOFTWARE\\No Such Key", "QXINSTALLDIR"), Result(false, "before"));
}

TEST(WineRegistry, eachValueComesFromThe32BitViewWhereItIsThereElseFromThe64BitOne) {
    HOTFIX_REQUIRE_WINE();
    const auto add = [](const char* name, const char* data, const char* view) {
        EXPECT_EQ(WineEnvironment::wine({"reg", "add", "HKLM\\Software\\Vantrel Views", "/v", name, "/t",
                                         "REG_SZ", "/d", data, "/f", view}),
                  0)
            << name << view;
    };
    add("Where", "32-bit view", "/reg:32");
    add("Where", "64-bit view", "/reg:64");
    add("Only32", "32-bit view", "/reg:32");
    add("Only64", "64-bit view", "/reg:64");
    WineEnvironment::flushRegistry();

    const auto registry = makeRegistry();
    const auto read = [&](std::string_view keyPath, std::string_view name) {
        std::string text = "before";
        RegModule::ReadRegValue(*registry, kLocalMachine, keyPath, name, text);
        return text;
    };
    EXPECT_EQ(read("SOFTWARE\\Vantrel Views", "Where"), "32-bit view");
    EXPECT_EQ(read("SOFTWARE\\Vantrel Views", "Only32"), "32-bit view");
    EXPECT_EQ(read("SOFTWARE\\Vantrel Views", "Only64"), "64-bit view");
    // wineboot leaves a 32-bit CurrentVersion with subkeys only; the Windows root is the 64-bit key's.
    EXPECT_EQ(read("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot"), "C:\\windows");
}

TEST(WineLauncher, scriptsRunInWinesCmdWithTheirCdLines) {
    HOTFIX_REQUIRE_WINE();
    test::TempDir package;
    fs::create_directories(driveC() / "Launch Proof");
    package.write("Register.bat", "cd\\\r\nC:\r\ncd C:\\Launch Proof\\\r\necho ran> proof.txt\r\n");
    PostBox ui;
    const auto launcher = makeProcessLauncher(ui.poster());
    bool ended = false;
    ASSERT_TRUE(launcher->startScript(package.str() + "\\Register.bat", [&] { ended = true; }));
    ASSERT_TRUE(ui.runNext()) << "cmd did not end";
    EXPECT_TRUE(ended);
    EXPECT_EQ(test::readFile(driveC() / "Launch Proof/proof.txt"), "ran\r\n");
}

// A package on the Linux side and a product installed on the prefix's drive C:. Each destination folder
// holds a regsvr32.bat that cmd finds before the real tool (the current folder comes first), so the
// script's lines leave a file behind in the folder its cd lines reached.
class WineInstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!WineEnvironment::missing().empty()) {
            return;
        }
        product = driveC() / "Program Files/Vantrel";
        windows = driveC() / "windows";
        test::writeFile(installed(product / "Common/a.dll"), "old a");
        test::writeFile(installed(product / "Common/notes.txt"), "old notes");
        test::writeFile(installed(windows / "Vantrel32/w.dll"), "old w");
        fs::permissions(product / "Common/a.dll", fs::perms::owner_read | fs::perms::group_read);
        const char* recorder = "@echo %*>> proof.txt\r\n";
        test::writeFile(product / "Common/regsvr32.bat", recorder);
        test::writeFile(windows / "Vantrel32/regsvr32.bat", recorder);

        package.write("Setup/InstallPatch.BLR", "Vantrel\\COMMON\\a.dll, Vantrel\\common\\Notes.TXT, "
                                                "Vantrel\\Common\\Extra.dll");
        package.write("Setup/InstallWinPatch.BLR", "Vantrel32\\w.dll");
        package.write("Setup/Vtrl/Vantrel/Common/a.dll", "new a");
        package.write("Setup/Vtrl/Vantrel/Common/notes.txt", "new notes");
        package.write("Setup/Vtrl/Vantrel/Common/Extra.dll", "extra");
        package.write("Setup/Othr/Vantrel32/w.dll", "new w");
    }

    static fs::path installed(const fs::path& path) {
        fs::create_directories(path.parent_path());
        return path;
    }

    fs::path product;
    fs::path windows;
    test::TempDir package;
};

TEST_F(WineInstallTest, aHotFixIsAppliedToDriveCAndItsLibrariesRegisteredThroughWine) {
    HOTFIX_REQUIRE_WINE();
    const auto files = makeFileSystem();
    test::RecordingMsgBox boxes;
    PostBox ui;
    const auto launcher = makeProcessLauncher(ui.poster());
    const EngineServices services{package.str(), *files, boxes, *launcher};

    test::FakeInstallerWindow window;
    window.TxtPath = "C:\\Program Files\\Vantrel";
    window.TxtWinPath = "C:\\windows";
    window.chkRegisterDlls = true;
    window.chkShowAfterReg = false;
    window.chkCloseAfterInstallation = false;
    const ListFileContext lists{services.programFolder, *files, boxes};
    ASSERT_TRUE(LoadListFile(Side::Product, lists, window));
    ASSERT_TRUE(LoadListFile(Side::Windows, lists, window));

    RunInstall(window, services);
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back(), messages::hotFixApplied()) << boxes.shown.back().prompt;

    EXPECT_EQ(test::readFile(product / "Common/a.dll"), "new a");
    EXPECT_EQ(test::readFile(product / "Common/a.dll_backup"), "old a");
    EXPECT_EQ(test::readFile(product / "Common/notes.txt"), "new notes");
    // A name that differs only in case finds the installed file; its new backup is named as the list spells
    // it.
    EXPECT_EQ(test::readFile(product / "Common/Notes.TXT_backup"), "old notes");
    EXPECT_EQ(test::readFile(product / "Common/Extra.dll"), "extra");
    EXPECT_EQ(test::readFile(windows / "Vantrel32/w.dll"), "new w");
    EXPECT_EQ(test::readFile(windows / "Vantrel32/w.dll_backup"), "old w");

    // One script per side; each is removed once its cmd has ended.
    ASSERT_TRUE(ui.runNext()) << "the first script did not end";
    ASSERT_TRUE(ui.runNext()) << "the second script did not end";
    EXPECT_EQ(test::readFile(product / "Common/proof.txt"), "-u /s a.dll\r\n");
    EXPECT_EQ(test::readFile(windows / "Vantrel32/proof.txt"), "-u /s w.dll\r\n");
    EXPECT_FALSE(package.exists("Register.bat"));
    EXPECT_FALSE(package.exists("RegisterWin.bat"));
}

} // namespace
} // namespace hotfix
