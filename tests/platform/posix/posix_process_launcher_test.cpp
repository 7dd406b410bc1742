#include "platform/posix/posix_process_launcher.hpp"
#include "platform/posix/post_box.hpp"
#include "support/temp_dir.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace hotfix::posix {
namespace {

namespace fs = std::filesystem;
using test::PostBox;
using namespace std::chrono_literals;
using test::TempDir;

bool waitFor(const std::function<bool()>& condition, std::chrono::seconds timeout = 30s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A prefix and a "wine" that waits until the test lets it go, then writes down how it was started.
class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.path() / "prefix/dosdevices");
        fs::create_directories(dir.path() / "prefix/drive_c/Patch Folder");
        fs::create_directory_symlink("../drive_c", dir.path() / "prefix/dosdevices/c:");
        fs::create_directory_symlink("/", dir.path() / "prefix/dosdevices/z:");
        dir.write("prefix/drive_c/Patch Folder/Register.bat", "cd\\\r\n");
        // It gives up after a minute, so that a failing test leaves nothing running.
        const fs::path wine = dir.write(
            "bin/wine",
            "#!/bin/sh\n"
            "d='" +
                dir.str() +
                "'\n"
                "n=0\n"
                "while [ ! -e \"$d/go\" ] && [ $n -lt 3000 ]; do\n"
                "    sleep 0.02; n=$((n + 1))\n"
                "done\n"
                "{ printf '%s\\n' \"$@\"; printf '%s\\n' \"$WINEPREFIX\" \"$PWD\"; } > \"$d/args.tmp\"\n"
                "mv \"$d/args.tmp\" \"$d/args\"\n");
        fs::permissions(wine, fs::perms::owner_all);
        wineProgram = wine.string();
    }

    WinePrefix prefix() const { return WinePrefix(dir.str() + "/prefix"); }
    void letWineGo() const { dir.write("go", ""); }
    // Whether a process runs this test's "wine", which would wait for its go until the test gives it. A start
    // returns once the new program is past the point of no return, before its arguments can be read: wait.
    bool wineRuns() const {
        return waitFor([&] {
            for (const auto& entry : fs::directory_iterator("/proc")) {
                std::ifstream in(entry.path() / "cmdline", std::ios::binary);
                std::ostringstream arguments;
                arguments << in.rdbuf();
                if (arguments.str().find(wineProgram + '\0') != std::string::npos) {
                    return true;
                }
            }
            return false;
        });
    }
    // The processes this test made and has not reaped: one started is the test's child from its first moment.
    static int childProcesses() {
        int count = 0;
        for (const auto& entry : fs::directory_iterator("/proc")) {
            std::ifstream in(entry.path() / "stat");
            std::string stat;
            std::getline(in, stat);
            // "pid (name) state parent ...": the name may hold anything, so the fields after its last ')'.
            const auto nameEnd = stat.rfind(')');
            std::istringstream fields(nameEnd == std::string::npos ? std::string()
                                                                   : stat.substr(nameEnd + 1));
            char state = 0;
            pid_t parent = 0;
            count += fields >> state >> parent && parent == ::getpid() ? 1 : 0;
        }
        return count;
    }
    bool wineHasRun() const { return dir.exists("args"); }

    TempDir dir;
    std::string wineProgram;
};

TEST_F(LauncherTest, runsTheScriptThroughWineCmdWithoutWaiting) {
    PostBox ui;
    PosixProcessLauncher launcher(prefix(), wineProgram, ui.poster());
    bool ended = false;
    const std::string script = dir.str() + "/prefix/drive_c/Patch Folder\\Register.bat";
    ASSERT_TRUE(launcher.startScript(script, [&](int) { ended = wineHasRun(); }));
    // The interpreter is still waiting for the test: the launcher did not wait for it.
    EXPECT_FALSE(wineHasRun());
    EXPECT_TRUE(wineRuns());
    letWineGo();
    ASSERT_TRUE(ui.runNext());
    EXPECT_TRUE(ended) << "the exit handler must come after the interpreter has ended";
    // The bare name in the script's folder: no character of the folder reaches cmd's command line.
    EXPECT_EQ(dir.read("args"), "cmd\n/d\n/c\nRegister.bat\n" + dir.str() + "/prefix\n" + dir.str() +
                                    "/prefix/drive_c/Patch Folder\n");
}

TEST_F(LauncherTest, scriptsOutsideTheDrivesOfCRunInTheirFolderAsFound) {
    PostBox ui;
    PosixProcessLauncher launcher(prefix(), wineProgram, ui.poster());
    dir.write("Patch & Fix (2) 100%OS%/Register_2.bat", "");
    ASSERT_TRUE(launcher.startScript(dir.str() + "/patch & fix (2) 100%OS%\\\\register_2.BAT", [](int) {}));
    letWineGo();
    ASSERT_TRUE(ui.runNext());
    EXPECT_EQ(dir.read("args"), "cmd\n/d\n/c\nRegister_2.bat\n" + dir.str() + "/prefix\n" + dir.str() +
                                    "/Patch & Fix (2) 100%OS%\n");
}

TEST_F(LauncherTest, withoutAPosterTheHandlerRunsOnTheWaitingThread) {
    PosixProcessLauncher launcher(prefix(), wineProgram, {});
    std::mutex mutex;
    std::optional<std::thread::id> handlerThread;
    letWineGo();
    ASSERT_TRUE(launcher.startScript(dir.str() + "/prefix/drive_c/Patch Folder/Register.bat", [&](int) {
        const std::lock_guard lock(mutex);
        handlerThread = std::this_thread::get_id();
    }));
    ASSERT_TRUE(waitFor([&] {
        const std::lock_guard lock(mutex);
        return handlerThread.has_value();
    }));
    EXPECT_NE(*handlerThread, std::this_thread::get_id());
}

TEST_F(LauncherTest, nothingStartsWithoutWineOrPrefixOrADriveForTheScript) {
    bool called = false;
    const auto handler = [&](int) {
        called = true;
    };
    const std::string script = dir.str() + "/prefix/drive_c/Patch Folder/Register.bat";
    EXPECT_FALSE(PosixProcessLauncher(prefix(), "", {}).startScript(script, handler));
    EXPECT_FALSE(
        PosixProcessLauncher(WinePrefix(dir.str() + "/none"), wineProgram, {}).startScript(script, handler));
    EXPECT_FALSE(PosixProcessLauncher(WinePrefix(), wineProgram, {}).startScript(script, handler));
    fs::remove(dir.path() / "prefix/dosdevices/z:");
    dir.write("package/Register.bat", "");
    EXPECT_FALSE(PosixProcessLauncher(prefix(), wineProgram, {})
                     .startScript(dir.str() + "/package/Register.bat", handler));
    // Each start returned, and any process it made would still be the test's, waiting for its go.
    EXPECT_EQ(childProcesses(), 0);
    EXPECT_FALSE(called);
}

TEST_F(LauncherTest, theScriptGoesOnWhenTheInstallerEnds) {
    const std::string script = dir.str() + "/prefix/drive_c/Patch Folder/Register.bat";
    EXPECT_EXIT(
        {
            PosixProcessLauncher launcher(prefix(), wineProgram, {});
            const bool started = launcher.startScript(script, [](int) {});
            std::_Exit(started ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_FALSE(wineHasRun());
    letWineGo();
    EXPECT_TRUE(waitFor([&] { return wineHasRun(); }));
}

TEST(FindWine, looksThroughThePath) {
    TempDir dir;
    const fs::path wine = dir.write("bin/wine", "#!/bin/sh\n");
    dir.write("plain/wine", "not executable");
    fs::permissions(wine, fs::perms::owner_all);
    const char* saved = std::getenv("PATH");
    const std::string savedPath = saved != nullptr ? saved : "";
    ::setenv("PATH", (dir.str() + "/empty:" + dir.str() + "/plain:" + dir.str() + "/bin").c_str(), 1);
    const std::string found = PosixProcessLauncher::findWine();
    ::setenv("PATH", (dir.str() + "/plain").c_str(), 1);
    const std::string missing = PosixProcessLauncher::findWine();
    ::setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(found, wine.string());
    EXPECT_EQ(missing, "");
}

} // namespace
} // namespace hotfix::posix
