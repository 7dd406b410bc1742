#include "cli/command_line.hpp"
#include "support/temp_dir.hpp"

#include <fcntl.h>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

// The built program as a deployment tool starts it: the exit status its parent really gets (8 bits on POSIX),
// and what it leaves behind.
namespace hotfix::cli {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

struct Ended {
    int status = -1;
    std::string out;
    std::string err;
};

// A prefix with its C: drive, and a folder for the program's home and its --log files.
class ProgramRun : public ::testing::Test {
protected:
    ProgramRun() {
        fs::create_directories(prefix.path() / "drive_c");
        fs::create_directories(prefix.path() / "dosdevices");
        fs::create_directory_symlink("../drive_c", prefix.path() / "dosdevices/c:");
    }

    Ended run(const std::vector<std::string>& arguments, const std::string& winePrefix = {}) {
        std::vector<std::string> texts = {HOTFIX_PROGRAM};
        texts.insert(texts.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& text : texts) {
            argv.push_back(text.data());
        }
        argv.push_back(nullptr);
        std::vector<std::string> environment = {
            "WINEPREFIX=" + (winePrefix.empty() ? prefix.str() : winePrefix), "HOME=" + home.str(),
            "XDG_CONFIG_HOME=" + home.str(), "LC_ALL=C.UTF-8"};
        std::vector<char*> envp;
        for (std::string& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        const std::string errPath = (scratch.path() / "stderr").string();
        const std::string outPath = (scratch.path() / "stdout").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t child = 0;
        Ended ended;
        if (::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
            int status = 0;
            ::waitpid(child, &status, 0);
            ended.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ended.err = test::readFile(errPath);
        ended.out = test::readFile(outPath);
        return ended;
    }

    // Every name below the prefix and the home, folders too.
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const TempDir* dir : {&prefix, &home}) {
            for (const auto& entry : fs::recursive_directory_iterator(dir->path())) {
                found.insert(entry.path().string());
            }
        }
        return found;
    }

    TempDir prefix;
    TempDir home;
    TempDir scratch;
};

TEST_F(ProgramRun, whileAnotherHoldsTheLockTheRunEnds75AndMakesNothing) {
    const int held =
        ::open((prefix.path() / "hotfix-installer.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    const auto before = names();
    const fs::path newLog = scratch.path() / "new.log";
    const fs::path oldLog = scratch.write("old.log", "");

    for (const std::string_view mode : {"--install", "--restore"}) {
        const Ended busy = run({std::string(mode), "--log", newLog.string()});
        EXPECT_EQ(busy.status, 75) << mode;
        EXPECT_THAT(busy.err, HasSubstr("Another install or restore of a HotFix is running")) << mode;
    }
    EXPECT_FALSE(fs::exists(newLog));
    EXPECT_EQ(run({"--install", "--log", oldLog.string()}).status, 75);
    EXPECT_THAT(test::readFile(oldLog), HasSubstr("Another install or restore of a HotFix is running"));
    EXPECT_EQ(names(), before);
    EXPECT_EQ(kAnotherRunInProgress, 75);
    EXPECT_THAT(usageText(), Not(HasSubstr("1618")));
    ::close(held);
}

// As Wine refuses a prefix another account owns: exit 1 before anything is looked at or made.
TEST_F(ProgramRun, aPrefixOfAnotherAccountIsRefusedWithExit1AndNothingMade) {
    if (::chown(prefix.path().c_str(), 65534, 65534) != 0) {
        GTEST_SKIP() << "this account cannot give files away";
    }
    const auto before = names();
    for (const std::string_view mode : {"--check", "--detect", "--install", "--restore"}) {
        const Ended refused = run({std::string(mode)});
        EXPECT_EQ(refused.status, 1) << mode;
        EXPECT_THAT(refused.err, HasSubstr("belongs to another account")) << mode;
    }
    EXPECT_EQ(names(), before);

    ASSERT_EQ(::chown(prefix.path().c_str(), ::geteuid(), ::getegid()), 0);
    EXPECT_THAT(run({"--check"}).err, Not(HasSubstr("belongs to another account")));
}

// A mistyped WINEPREFIX is a bad argument and never becomes a new workstation; a --log path with a drive
// letter lies in the prefix, and a look (--detect) makes no folder for a log of the records' place.
TEST_F(ProgramRun, theWorkstationAndTheLogAreFoundWhereTheirWindowsNamesSay) {
    fs::create_directories(prefix.path() / "drive_c/ProgramData");
    const auto before = names();
    const std::string typo = prefix.str() + "/typo";
    for (const std::string_view mode : {"--check", "--detect", "--install", "--restore"}) {
        const Ended refused = run({std::string(mode)}, typo);
        EXPECT_EQ(refused.status, 2) << mode;
        EXPECT_THAT(refused.err, HasSubstr("does not exist: set WINEPREFIX")) << mode;
    }
    const Ended looked = run({"--detect", "--log", "C:\\ProgramData\\HotFix Installer\\detect.log"});
    EXPECT_EQ(looked.status, 1) << looked.err;
    const Ended unopenable =
        run({"--install", "--log", "C:\\ProgramData\\HotFix Installer\\" + std::string(300, 'x') + ".log"});
    EXPECT_EQ(unopenable.status, 2) << unopenable.err;
    // The run lock's file, which every run that holds the lock makes, is all it leaves.
    auto after = names();
    after.erase((prefix.path() / "hotfix-installer.lock").string());
    EXPECT_EQ(after, before);

    run({"--install", "--log", "C:\\install.log"});
    EXPECT_THAT(test::readFile(prefix.path() / "drive_c/install.log"), HasSubstr("exit code"));
    EXPECT_FALSE(fs::exists(fs::current_path() / "C:\\install.log"));
}

// The program need not lie in the hot fix's folder: --package names it, and without it a run from elsewhere
// says what is missing and how to name it.
TEST_F(ProgramRun, aPackageElsewhereIsNamedWithPackage) {
    fs::create_directories(prefix.path() / "drive_c/ProgramData");
    const TempDir package;
    package.write("Setup/InstallPatch.BLR", "bin\\core.dll\r\n");
    package.write("Setup/Vtrl/bin/core.dll", "core 2");
    const TempDir root;
    root.write("bin/core.dll", "core 1");
    const std::vector<std::string> roots = {"--vantrel-root", root.str(), "--windows-root", root.str()};
    const auto with = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), roots.begin(), roots.end());
        return run(arguments);
    };
    EXPECT_THAT(with({"--check"}).err, AllOf(HasSubstr("No list file in"), HasSubstr("--package")));
    EXPECT_EQ(with({"--install", "--package", package.str() + "/nowhere"}).status, 2);
    EXPECT_EQ(with({"--detect", "--package", package.str()}).status, 1);
    const Ended installed = with({"--install", "--package", package.str()});
    EXPECT_EQ(installed.status, 0) << installed.err;
    EXPECT_EQ(test::readFile(root.path() / "bin/core.dll"), "core 2");
    EXPECT_EQ(with({"--detect", "--package", package.str()}).status, 0);
    EXPECT_EQ(run({"--restore", "--package", package.str()}).status, 0);
    EXPECT_EQ(test::readFile(root.path() / "bin/core.dll"), "core 1");
}

// A tool reads each run from standard output alone: one JSON object, whatever the run said on standard error,
// and --list tells which hot fixes the workstation has, from their records.
TEST_F(ProgramRun, aToolReadsEveryRunAndTheInstalledHotFixesAsJson) {
    using nlohmann::json;
    fs::create_directories(prefix.path() / "drive_c/ProgramData");
    const TempDir package;
    package.write("Setup/InstallPatch.BLR", "bin\\core.dll,bin\\new.txt");
    package.write("Setup/Vtrl/bin/core.dll", "core 2");
    package.write("Setup/Vtrl/bin/new.txt", "new");
    const TempDir root;
    root.write("bin/core.dll", "core 1");
    const auto object = [&](std::vector<std::string> arguments, int status) {
        const std::string mode = arguments.front();
        arguments.emplace_back("--json");
        if (mode != "--list") {
            arguments.insert(arguments.end(), {"--package", package.str()});
        }
        if (mode != "--list" && mode != "--restore") {
            arguments.insert(arguments.end(), {"--vantrel-root", root.str()});
        }
        const Ended ended = run(arguments);
        EXPECT_EQ(ended.status, status) << arguments.front() << ended.err;
        return json::parse(ended.out);
    };
    const auto actions = [](const json& files) {
        std::vector<std::string> each;
        for (const json& file : files) {
            each.push_back(file["destination"].get<std::string>() + " " + file["action"].get<std::string>());
        }
        return each;
    };
    const std::string core = root.str() + "\\bin\\core.dll";
    const std::string added = root.str() + "\\bin\\new.txt";

    EXPECT_EQ(object({"--list"}, 0)["hotFixes"], json::array());
    const json checked = object({"--check"}, 0);
    EXPECT_THAT(actions(checked["files"]), ::testing::ElementsAre(core + " replace", added + " copy new"));
    EXPECT_EQ(checked["files"][0]["backup"], core + "_backup");

    const json installed = object({"--install"}, 0);
    EXPECT_EQ(installed["result"], "succeeded");
    EXPECT_EQ(installed["package"], checked["package"]);
    EXPECT_THAT(actions(installed["files"]), ::testing::ElementsAre(core + " replaced", added + " new file"));
    const std::string log = installed["log"];
    ASSERT_THAT(log, ::testing::StartsWith("C:\\ProgramData\\HotFix Installer\\Logs\\"));
    std::string hostLog = prefix.str() + "/drive_c" + log.substr(2);
    std::replace(hostLog.begin(), hostLog.end(), '\\', '/');
    EXPECT_THAT(test::readFile(hostLog), HasSubstr("exit code 0"));

    const json listed = object({"--list"}, 0)["hotFixes"];
    ASSERT_EQ(listed.size(), 1U);
    EXPECT_EQ(listed[0]["package"], installed["package"]);
    EXPECT_EQ(listed[0]["inPlace"], true);
    EXPECT_EQ(listed[0]["installedBy"], "command line");
    EXPECT_THAT(run({"--list"}).out,
                AllOf(HasSubstr("\tin place\t"), HasSubstr("\tcommand line\tsucceeded\t")));
    // Changed behind the installer's back: the record alone does not make it in place.
    root.write("bin/new.txt", "edited");
    EXPECT_EQ(object({"--list"}, 0)["hotFixes"][0]["inPlace"], false);
    root.write("bin/new.txt", "new");

    EXPECT_THAT(actions(object({"--restore"}, 0)["files"]),
                ::testing::ElementsAre(added + " removed", core + " restored"));
    const json restored = object({"--list"}, 0)["hotFixes"][0];
    EXPECT_EQ(restored["restored"], true);
    EXPECT_EQ(restored["inPlace"], false);

    package.write("Setup/InstallPatch.BLR", "bin\\core.dll,bin\\new.txt,\r\n\r\ncore.dll");
    const json bad = object({"--check"}, 1);
    ASSERT_EQ(bad["badEntries"].size(), 1U);
    EXPECT_EQ(bad["badEntries"][0]["line"], 3);
    EXPECT_EQ(bad["badEntries"][0]["entry"], "core.dll");
}

} // namespace
} // namespace hotfix::cli
