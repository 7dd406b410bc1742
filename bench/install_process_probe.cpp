// One whole install as its own process, for comparing with the shell commands a technician could run
// instead: reads the product list file of a package as the window's start does and runs the install, with
// no window and no registration tool (the scripts are written, not run).
//   bench_install_process_probe <package folder> <product root>
// Exits 0 when the install ends with the success message.

#include "engine/file_lists.hpp"
#include "engine/install_run.hpp"
#include "platform/platform_services.hpp"
#include "support/fake_installer_window.hpp"
#include "support/fake_launcher.hpp"
#include "support/recording_msg_box.hpp"

#include <cstdio>

int main(int argc, char** argv) {
    using namespace hotfix;
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <package folder> <product root>\n", argv[0]);
        return 2;
    }
    const std::string programFolder = argv[1];
    const auto fs = makeFileSystem();
    test::RecordingMsgBox boxes;
    test::FakeLauncher launcher;
    test::FakeInstallerWindow window;
    window.TxtPath = argv[2];
    window.chkRegisterDlls = true;
    if (!LoadListFile(Side::Product, {programFolder, *fs, boxes}, window)) {
        std::fprintf(stderr, "no list file in %s\n", programFolder.c_str());
        return 2;
    }
    RunInstall(window, {programFolder, *fs, boxes, launcher});
    launcher.endAll();
    const bool succeeded =
        !boxes.shown.empty() && boxes.shown.back().prompt == "Sucessfully Applied the HotFix";
    if (!succeeded) {
        for (const auto& box : boxes.shown) {
            std::fprintf(stderr, "%s\n", box.prompt.c_str());
        }
    }
    return succeeded ? 0 : 1;
}
