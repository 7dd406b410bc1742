#include "platform/platform_services.hpp"
#include "platform/win32/win32_process_launcher.hpp"
#include "platform/win32/win32_test_tools.hpp"
#include "platform/win32/win32_text.hpp"
#include "support/temp_dir.hpp"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>
// The tool help needs windows.h before it.
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include <gtest/gtest.h>

namespace hotfix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::TempDir;
using test::waitUntil;

struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The interpreters this process has started that still run, each to wait for.
std::vector<Handle> childInterpreters() {
    std::vector<Handle> found;
    const Handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (bool more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ParentProcessID == ::GetCurrentProcessId() &&
            ::lstrcmpiW(entry.szExeFile, L"cmd.exe") == 0) {
            if (HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
                found.emplace_back(process);
            }
        }
    }
    return found;
}

class LauncherTest : public ::testing::Test {
protected:
    // A folder with blanks in its name, as C:\Program Files\Patch has.
    fs::path folder() const { return dir.path() / "Hot Fix (1)"; }

    // A script that marks its start, waits for the test to let it go, and marks its end.
    std::string writeGatedScript() {
        fs::create_directories(folder());
        const std::string f = folder().string();
        const std::string text = "@echo off\r\n"
                                 "echo started> \"" +
                                 f +
                                 "\\started.txt\"\r\n"
                                 ":wait\r\n"
                                 "if not exist \"" +
                                 f +
                                 "\\go.txt\" goto wait\r\n"
                                 "echo done> \"" +
                                 f + "\\done.txt\"\r\n";
        test::writeFile(folder() / "Register.bat", text);
        return (folder() / "Register.bat").string();
    }

    void letTheScriptEnd() { test::writeFile(folder() / "go.txt", "go"); }

    TempDir dir;
};

TEST_F(LauncherTest, scriptFileIsRemovedOnlyAfterTheInterpreterHasEnded) {
    const std::string script = writeGatedScript();
    std::atomic<bool> ended{false};
    std::atomic<bool> doneBeforeHandler{false};
    std::atomic<bool> removed{false};
    auto launcher = makeProcessLauncher();
    ASSERT_TRUE(launcher->startScript(script, [&](int) {
        doneBeforeHandler = fs::exists(folder() / "done.txt");
        removed = ::DeleteFileW(fs::path(script).c_str()) != 0;
        ended = true;
    }));

    // The script waits for its go: its interpreter cannot have ended. The handler itself proves the order,
    // by finding the script's last mark already made.
    ASSERT_TRUE(waitUntil([&] { return fs::exists(folder() / "started.txt"); }));
    EXPECT_FALSE(ended);
    EXPECT_TRUE(fs::exists(script));

    letTheScriptEnd();
    ASSERT_TRUE(waitUntil([&] { return ended.load(); }));
    EXPECT_TRUE(doneBeforeHandler);
    EXPECT_TRUE(removed);
    EXPECT_FALSE(fs::exists(script));
}

TEST_F(LauncherTest, interpreterStartsMinimizedWithoutTheKeyboardInTheScriptsFolderQuoted) {
    const fs::path probe = test::executableFolder() / "startup_probe.exe";
    const fs::path report = dir.path() / "probe.txt";
    ASSERT_TRUE(::SetEnvironmentVariableW(L"HOTFIX_PROBE_OUTPUT", report.c_str()));
    fs::create_directories(folder());
    const std::string script = folder().string() + "\\\\Register.bat";

    std::atomic<bool> ended{false};
    win32::Win32ProcessLauncher launcher(probe.wstring(), {});
    ASSERT_TRUE(launcher.startScript(script, [&](int) { ended = true; }));
    ASSERT_TRUE(waitUntil([&] { return ended.load(); }));

    const std::string expected = std::to_string(SW_SHOWMINNOACTIVE) + "\n\"" + probe.string() +
                                 "\" /d /s /c \"\"Register.bat\"\"\n" + folder().string() + "\n";
    EXPECT_EQ(test::readFile(report), expected);
}

class LauncherFolders : public LauncherTest, public ::testing::WithParamInterface<const wchar_t*> {};

// No character of the script's folder reaches cmd's command line, where "&", "(", ")", "%" or "!" would make
// it do other things than run the script; the script runs in its folder, whatever the folder's name.
TEST_P(LauncherFolders, scriptsRunFromFoldersWithAnyLegalName) {
    const fs::path scriptFolder = dir.path() / GetParam();
    fs::create_directories(scriptFolder);
    test::writeFile(scriptFolder / "Register.bat", "echo ran> ran.txt\r\n");
    std::atomic<bool> ended{false};
    auto launcher = makeProcessLauncher();
    ASSERT_TRUE(launcher->startScript(win32::narrow(scriptFolder.wstring() + L"\\Register.bat"),
                                      [&](int) { ended = true; }));
    ASSERT_TRUE(waitUntil([&] { return ended.load(); }));
    EXPECT_TRUE(fs::exists(scriptFolder / "ran.txt"));
}

INSTANTIATE_TEST_SUITE_P(LegalNames, LauncherFolders,
                         ::testing::Values(L"Patch & Fix (2)", L"100%OS% a!b", L"Caf\u00e9 \u0142\uff06"),
                         [](const auto& param) { return "folder" + std::to_string(param.index); });

TEST_F(LauncherTest, failedStartIsReportedAndNeverCallsTheHandler) {
    std::atomic<bool> called{false};
    {
        win32::Win32ProcessLauncher launcher((dir.path() / "no-such-cmd.exe").wstring(), {});
        EXPECT_FALSE(launcher.startScript(writeGatedScript(), [&](int) { called = true; }));
        EXPECT_TRUE(childInterpreters().empty());
    }
    // Gone, the launcher has joined whatever thread it had: nothing can call the handler any longer.
    EXPECT_FALSE(called);
}

TEST_F(LauncherTest, handlerGoesToThePosterAndTheRunNeverWaits) {
    const std::string script = writeGatedScript();
    std::mutex mutex;
    std::vector<std::function<void()>> posted;
    auto launcher = makeProcessLauncher([&](std::function<void()> handler) {
        const std::lock_guard lock(mutex);
        posted.push_back(std::move(handler));
    });
    bool ran = false;
    const auto before = std::chrono::steady_clock::now();
    ASSERT_TRUE(launcher->startScript(script, [&](int) { ran = true; }));
    // The script is still waiting for its go, so returning at all shows that the start did not wait.
    EXPECT_LT(std::chrono::steady_clock::now() - before, 10s);

    letTheScriptEnd();
    ASSERT_TRUE(waitUntil([&] {
        const std::lock_guard lock(mutex);
        return !posted.empty();
    }));
    EXPECT_FALSE(ran);
    posted.front()();
    EXPECT_TRUE(ran);
}

TEST_F(LauncherTest, scriptOutlivesTheLauncherWithoutItsHandler) {
    const std::string script = writeGatedScript();
    std::atomic<bool> called{false};
    {
        auto launcher = makeProcessLauncher();
        ASSERT_TRUE(launcher->startScript(script, [&](int) { called = true; }));
        ASSERT_TRUE(waitUntil([&] { return fs::exists(folder() / "started.txt"); }));
    }
    const std::vector<Handle> interpreters = childInterpreters();
    ASSERT_EQ(interpreters.size(), 1U);
    letTheScriptEnd();
    ASSERT_EQ(::WaitForSingleObject(interpreters.front().get(), 30000), WAIT_OBJECT_0);
    EXPECT_TRUE(fs::exists(folder() / "done.txt"));
    EXPECT_FALSE(called);
}

} // namespace
} // namespace hotfix
