#include "engine/file_lists.hpp"
#include "engine/install_run.hpp"
#include "engine/messages.hpp"
#include "platform/posix/posix_file_system.hpp"
#include "platform/posix/posix_registry.hpp"
#include "platform/reg_module.hpp"
#include "support/code_pages.hpp"
#include "support/fake_installer_window.hpp"
#include "support/fake_launcher.hpp"
#include "support/recording_msg_box.hpp"
#include "support/temp_dir.hpp"

#include <cstdlib>

#include <gtest/gtest.h>

namespace hotfix::posix {
namespace {

namespace fs = std::filesystem;

// The demo workstation and package that tools/make-demo.sh makes, used the way make demo uses them.
class DemoWorkstationTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string command = std::string("'") + HOTFIX_MAKE_DEMO + "' '" + dir.str() + "' > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    fs::path product(std::string_view relative) const {
        return dir.path() / "prefix/drive_c/Program Files/Vantrel" / relative;
    }

    test::TempDir dir;
};

TEST_F(DemoWorkstationTest, aHotFixInstallsOnTheDemoWorkstation) {
    PosixRegistry registry{WinePrefix(dir.str() + "/prefix")};
    test::FakeInstallerWindow window;
    window.TxtPath = "unread";
    window.TxtWinPath = "unread";
    ASSERT_TRUE(RegModule::ReadRegValue(registry, RegistryApi::kLocalMachine, "SOFTWARE\\Vantrel Software",
                                        "QXINSTALLDIR", window.TxtPath));
    ASSERT_TRUE(RegModule::ReadRegValue(registry, RegistryApi::kLocalMachine,
                                        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "PathName",
                                        window.TxtWinPath));
    EXPECT_EQ(window.TxtPath, "C:\\Program Files\\Vantrel");
    EXPECT_EQ(window.TxtWinPath, "C:\\windows");

    PosixFileSystem files{WinePrefix(dir.str() + "/prefix")};
    test::RecordingMsgBox boxes;
    test::FakeLauncher launcher;
    const EngineServices services{dir.str() + "/package", files, boxes, launcher, test::machineCodePages()};
    const ListFileContext lists{services.programFolder, files, boxes, services.codePages};
    ASSERT_TRUE(LoadListFile(Side::Product, lists, window));
    ASSERT_TRUE(LoadListFile(Side::Windows, lists, window));
    EXPECT_EQ(window.itemCount(Side::Product), 4);
    window.chkRegisterDlls = true;
    window.chkCloseAfterInstallation = false;

    const std::string original = test::readFile(product("Bin/Report.dll"));
    runInstall(window, services);
    ASSERT_EQ(boxes.shown.size(), 1u) << ::testing::PrintToString(boxes.prompts());
    EXPECT_EQ(boxes.shown.front(), messages::hotFixApplied());
    EXPECT_EQ(test::readFile(product("Bin/Report.dll")),
              test::readFile(dir.path() / "package/Setup/Vtrl/Vantrel/Bin/Report.dll"));
    EXPECT_EQ(test::readFile(product("Bin/Report.dll_backup")), original);
    EXPECT_NE(original.find("Vantrel report writer 5.1.0 (installed, read-only)"), std::string::npos);
    EXPECT_TRUE(fs::exists(product("Bin/Viewer.dll")));
    EXPECT_TRUE(fs::exists(product("Common/Help.txt_backup")));
    EXPECT_TRUE(fs::exists(dir.path() / "prefix/drive_c/windows/system32/vtrlhook.dll_backup"));
    EXPECT_EQ(launcher.started.size(), 2u);
    launcher.endAll();
}

} // namespace
} // namespace hotfix::posix
