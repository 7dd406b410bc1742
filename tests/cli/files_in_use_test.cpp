#include "cli/headless_fixture.hpp"
#include "platform/files_in_use.hpp"
#include "support/fake_files_in_use.hpp"
#include "support/forwarding_file_system.hpp"

#include <algorithm>
#include <functional>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

// Files that running programs hold, as Windows treats them: never written to, never replaced in place, and
// replaced by the system when it starts again.
namespace hotfix::cli {
namespace {

using ::testing::AllOf;
using ::testing::AnyOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::SizeIs;

// Windows' sharing rule on a real file system: a held file is not replaced ("in use"), and none of its
// names (its backup is one) can be removed.
class HoldingFileSystem final : public test::ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;

    std::set<std::string> held;

    FileResult moveFile(std::string_view from, std::string_view to, Overwrite overwrite) override {
        if (overwrite == Overwrite::Existing && isHeld(to)) {
            return FileError{32, "the file is in use", true};
        }
        return ForwardingFileSystem::moveFile(from, to, overwrite);
    }

private:
    bool isHeld(std::string_view path) const {
        return std::any_of(held.begin(), held.end(),
                           [&](const std::string& name) { return path.ends_with(name); });
    }
    bool refuses(std::string_view op, std::string_view path, std::string_view) override {
        const bool aNameOfIt = std::any_of(held.begin(), held.end(), [&](const std::string& name) {
            return path.find(name + "_") != std::string_view::npos;
        });
        return (op == "removeName" || op == "deleteFile") && aNameOfIt;
    }
};

class HeldFiles : public test::Headless {
protected:
    HeldFiles() {
        filesInUse = &inUse;
        holding.held = {"bin\\core.dll", "system32\\hook.dll"};
    }
    int install(std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments{"--install", "--suffix", "hf7", "--register-dlls"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return run(arguments, &holding);
    }
    // The workstation's and the package's files, without the record and the logs.
    std::string filesOnDisk() const { return everything().at("machine") + everything().at("package"); }

    HoldingFileSystem holding{*files};
    test::FakeFilesInUse inUse{*files};
};

TEST_F(HeldFiles, heldFilesWaitForTheRestartWithWholeBackupsAndTheRunEndsWith3010) {
    ASSERT_EQ(install(), kRestartNeeded) << err.str();
    // The others are in place now.
    EXPECT_EQ(machine.read("Vantrel/Common/help.txt"), "help 2");
    EXPECT_EQ(machine.read("Vantrel/bin/viewer.dll"), "viewer 2 (new)");
    // The held ones keep their bytes until the restart, and their backups are whole already.
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 1");
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll_hf7"), "core 1");
    EXPECT_EQ(machine.read("WINNT/system32/hook.dll"), "hook 1");
    EXPECT_EQ(machine.read("WINNT/system32/hook.dll_hf7"), "hook 1");
    ASSERT_THAT(inUse.pending, SizeIs(2));
    EXPECT_EQ(test::readFile(test::FakeLauncher::hostPath(inUse.pending[0].first)), "core 2");
    EXPECT_THAT(err.str(),
                AllOf(HasSubstr("will be replaced when Windows restarts"), HasSubstr("bin\\core.dll"),
                      HasSubstr("system32\\hook.dll"), HasSubstr("Sucessfully Applied the HotFix")));
    EXPECT_THAT(machineLog(), HasSubstr("\tat restart\t"));
    // Registering now would register the original; both libraries register after the restart instead.
    for (const std::string& script : instant.scripts) {
        EXPECT_THAT(script, AllOf(Not(HasSubstr("core.dll")), Not(HasSubstr("hook.dll"))));
    }
    ASSERT_THAT(inUse.afterRestart, SizeIs(2));
    EXPECT_THAT(inUse.afterRestart.begin()->second,
                AllOf(HasSubstr("regsvr32.exe /s \""), HasSubstr(".dll\"")));

    // Not in place until the restart.
    EXPECT_EQ(run({"--detect"}, &holding), kFailure);
    holding.held.clear();
    ASSERT_TRUE(inUse.restart());
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 2");
    EXPECT_EQ(machine.read("WINNT/system32/hook.dll"), "hook 2");
    EXPECT_EQ(run({"--detect"}), kSuccess) << err.str();
    // And the hot fix can be taken back after it as after any install.
    ASSERT_EQ(run({"--restore"}), kSuccess) << err.str();
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 1");
    EXPECT_EQ(machine.read("WINNT/system32/hook.dll"), "hook 1");
    EXPECT_FALSE(machine.exists("Vantrel/bin/core.dll_hf7"));
}

TEST_F(HeldFiles, aRestoreBeforeTheRestartTakesTheWaitingReplacementsBackAndLeavesNothing) {
    const std::string before = filesOnDisk();
    ASSERT_EQ(install(), kRestartNeeded) << err.str();
    // While the program runs, the backups (second names of the files it holds) cannot go: said, not hidden.
    EXPECT_EQ(run({"--restore"}, &holding), kFailure);
    EXPECT_THAT(err.str(), AllOf(HasSubstr("bin\\core.dll_hf7"), HasSubstr("could not be removed")));
    EXPECT_THAT(inUse.pending, IsEmpty());
    EXPECT_THAT(inUse.afterRestart, IsEmpty());
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 1");
    // Once it has ended, a restore run again completes the job.
    holding.held.clear();
    ASSERT_EQ(run({"--restore"}, &holding), kSuccess) << err.str();
    EXPECT_EQ(filesOnDisk(), before);
    // The restart then changes nothing.
    ASSERT_TRUE(inUse.restart());
    EXPECT_EQ(filesOnDisk(), before);
}

TEST_F(HeldFiles, withoutTheRightToQueueARenameTheFileStaysAsItWasAndTheRunFails) {
    inUse.queueAnswer = FilesInUse::Queued::NeedsAdministrator;
    EXPECT_EQ(install(), kFailure);
    EXPECT_THAT(err.str(), AllOf(HasSubstr("bin\\core.dll"), HasSubstr("only an administrator")));
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 1");
    EXPECT_THAT(inUse.afterRestart, IsEmpty());
    // No temporary is left; the backup name, which the program keeps while it holds the file, is in the
    // record, and goes with the restore once the program has ended.
    for (const auto& [path, content] : test::filesBelow(machine.path() / "Vantrel" / "bin")) {
        EXPECT_THAT(path, Not(HasSubstr("~hotfix")));
    }
    holding.held.clear();
    ASSERT_EQ(run({"--restore"}, &holding), kSuccess) << err.str();
    for (const auto& [path, content] : test::filesBelow(machine.path())) {
        EXPECT_THAT(path, Not(AnyOf(HasSubstr("_hf7"), HasSubstr("~hotfix"))));
    }
}

TEST_F(HeldFiles, checkNamesTheHoldersAndCloseApplicationsClosesAndRestartsThem) {
    inUse.answers = {{{4242, "Vantrel Viewer", false, false}, {88, "VtrlSvc", true, false}}};
    EXPECT_EQ(run({"--check"}, &holding), kSuccess) << err.str();
    EXPECT_THAT(outLines(), AllOf(Contains("in use by\tVantrel Viewer\tprocess 4242"),
                                  Contains("in use by\tVtrlSvc\tprocess 88\tservice")));
    // Only installed files can be held.
    EXPECT_THAT(inUse.askedAbout, SizeIs(3));

    // Without the option, nothing is closed: the held files wait for the restart.
    ASSERT_EQ(install(), kRestartNeeded) << err.str();
    EXPECT_THAT(inUse.closeAsked, IsEmpty());
    holding.held.clear();
    ASSERT_EQ(run({"--restore"}, &holding), kSuccess) << err.str();
    holding.held = {"bin\\core.dll"};

    // With it, the holders are asked to close before anything changes, and started again afterwards.
    inUse.onClose = [&] {
        holding.held.clear();
    };
    EXPECT_EQ(install({"--close-applications"}), kSuccess) << err.str();
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 2");
    EXPECT_THAT(inUse.closeAsked, SizeIs(3));
    EXPECT_EQ(inUse.restartedClosed, 1);
    EXPECT_EQ(run({"--check", "--close-applications"}), kBadArguments);
}

} // namespace
} // namespace hotfix::cli
