// Runs one install or restore through the POSIX backend, for the flush-order test to trace its system calls:
//   flush_trace_probe install|restore fs|each <program folder> <product root> <Windows root> <records>
// "fs" flushes as the backend decides for the file system, "each" file by file and folder by folder.
#include "engine/file_lists.hpp"
#include "engine/install_run.hpp"
#include "engine/restore_run.hpp"
#include "platform/platform_services.hpp"
#include "support/code_pages.hpp"
#ifndef _WIN32
#include "platform/posix/posix_file_system.hpp"
#endif
#include "support/fake_installer_window.hpp"
#include "support/fake_launcher.hpp"
#include "support/recording_msg_box.hpp"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    using namespace hotfix;
    if (argc != 7) {
        std::fprintf(stderr,
                     "usage: flush_trace_probe install|restore fs|each <program folder> <product root> "
                     "<Windows root> <records>\n");
        return 2;
    }
    const std::string mode = argv[1];
#ifdef _WIN32
    // Windows flushes file by file whatever is asked.
    const auto files = makeFileSystem();
    FileSystem& fs = *files;
#else
    posix::PosixFileSystem fs;
    fs.useFlushPolicy(std::string(argv[2]) == "each" ? posix::FlushPolicy::EachFile
                                                     : posix::FlushPolicy::ByFileSystem);
#endif
    test::FakeInstallerWindow window;
    window.TxtPath = argv[4];
    window.TxtWinPath = argv[5];
    window.chkRegisterDlls = true;
    test::RecordingMsgBox boxes;
    for (const Side side : kSides) {
        LoadListFile(side, {argv[3], fs, boxes, test::machineCodePages()}, window);
    }
    test::FakeLauncher launcher;
    const EngineServices services{argv[3], fs, boxes, launcher, test::machineCodePages(), argv[6]};
    const RunResult result = mode == "install" ? runInstall(window, services)
                                               : runRestore(window, services, [](const RestoredFile&) {});
    launcher.endAll();
    for (const MsgBoxRequest& box : boxes.shown) {
        std::fprintf(stderr, "%s: %s\n", box.shownTitle().c_str(), box.prompt.c_str());
    }
    return result == RunResult::Succeeded ? 0 : 1;
}
