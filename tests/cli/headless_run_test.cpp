#include "cli/headless_fixture.hpp"
#include "engine/install_record.hpp"
#include "support/hooked_file_system.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hotfix::cli {
namespace {

namespace fs = std::filesystem;
using test::Crash;
using test::Headless;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

TEST_F(Headless, checkSaysWhatAnInstallWouldDoAndChangesNothing) {
    machine.write("Vantrel/bin/core.dll_backup", "core 0");
    const auto before = everything();

    EXPECT_EQ(run({"--check"}), kSuccess) << err.str();

    const std::string vantrel = root("Vantrel");
    EXPECT_THAT(outLines(), ElementsAre("Vantrel\treplace\t" + vantrel + "\\bin\\core.dll\t" + vantrel +
                                            "\\bin\\core.dll-2026.12.7.9.5",
                                        "Vantrel\tcopy new\t" + vantrel + "\\bin\\viewer.dll",
                                        "Vantrel\treplace\t" + vantrel + "\\Common\\help.txt\t" + vantrel +
                                            "\\Common\\help.txt-2026.12.7.9.5",
                                        "Windows\treplace\t" + root("WINNT") + "\\system32\\hook.dll\t" +
                                            root("WINNT") + "\\system32\\hook.dll-2026.12.7.9.5"));
    EXPECT_EQ(everything(), before);
    EXPECT_TRUE(settings.values.empty());
}

TEST_F(Headless, checkThatWouldFailPrintsEveryBoxAndExitsOne) {
    fs::remove(package.path() / "Setup/Vtrl/bin/core.dll");
    fs::remove_all(machine.path() / "Vantrel/Common");
    const auto before = everything();

    EXPECT_EQ(run({"--check", "--suffix", "old"}), kFailure);

    EXPECT_THAT(err.str(), AllOf(HasSubstr("Error:  File ''core.dll'' is not available"),
                                 HasSubstr("Error:  HotFix Failed, Please try again  \n")));
    EXPECT_THAT(outLines(),
                ElementsAre(HasSubstr("back up only, package file missing"), HasSubstr("copy new"),
                            HasSubstr("pass over, folder missing"), HasSubstr("hook.dll_old")));
    EXPECT_EQ(everything(), before);
}

// Not even the records' folder or the machine's log is made.
TEST_F(Headless, argumentsThatCannotBeRunExitTwoBeforeAnythingIsTouched) {
    recordFolder = (data.path() / "HotFix Installer").string();
    const auto before = everything();
    EXPECT_EQ(run({"--install", "--vantrel-root", root("Nowhere")}), kBadArguments);
    EXPECT_THAT(err.str(), HasSubstr("given with --vantrel-root does not exist"));
    registry.set("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "PathName", root("WIN98"));
    EXPECT_EQ(run({"--install"}), kBadArguments);
    EXPECT_THAT(err.str(), HasSubstr("does not exist; give the right one with --windows-root"));
    EXPECT_EQ(run({"--install", "--log", (package.path() / "no such folder" / "x.log").string()}),
              kBadArguments);
    EXPECT_THAT(err.str(), HasSubstr("cannot be opened"));
    EXPECT_EQ(run({"--install", "--date-suffix", "--suffix", "x"}), kBadArguments);
    EXPECT_EQ(everything(), before);
    EXPECT_TRUE(fs::is_empty(data.path()));
}

TEST_F(Headless, installThenRestoreGivesBackTheOriginalTreesByteForByte) {
    const auto before = everything();
    const std::string log = (data.path() / "run.log").string();

    EXPECT_EQ(run({"--install", "--register-dlls", "--log", log}), kSuccess) << err.str();
    // The machine's log is named first, so that even a run killed midway says where it is.
    const std::string machineLogName = hotfix::test::filesBelow(data.path() / "Logs").begin()->first;
    EXPECT_EQ(err.str(), "The run is logged in \"" + recordFolder + "\\Logs\\" + machineLogName +
                             "\".\nHotFix Installer: Sucessfully Applied the HotFix\n");
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 2");
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll_backup"), "core 1");
    EXPECT_EQ(machine.read("Vantrel/bin/viewer.dll"), "viewer 2 (new)");
    EXPECT_EQ(instant.scripts.size(), 2U);
    // The record names each file with its backup and the SHA-256 of "core 1" and "core 2", then the
    // temporary file.
    const std::string vantrel = root("Vantrel");
    const std::string line =
        recordLine({"file", "Vantrel", vantrel + "\\bin\\core.dll", vantrel + "\\bin\\core.dll_backup",
                    "ae77cef40b6f63c6c2e312785965f9fe30527ffcb8a64bd2d8da81aacca3a6d6",
                    "df9848d4baa1e73512be56c64222e804f10d600a7dcc6a4272a35d6661d94b09"});
    EXPECT_THAT(everything().at("data"),
                HasSubstr("\n" + line.substr(0, line.size() - 1) + vantrel + "\\bin\\~hotfix,"));

    EXPECT_EQ(run({"--restore", "--log", log}), kSuccess) << err.str();
    EXPECT_THAT(outLines(), ElementsAre(HasSubstr("Windows\trestored\t"), HasSubstr("Vantrel\trestored\t"),
                                        HasSubstr("Vantrel\tremoved\t"), HasSubstr("Vantrel\trestored\t")));
    // The libraries put back are registered again, silently.
    ASSERT_EQ(instant.scripts.size(), 4U);
    EXPECT_THAT(instant.scripts[2], AllOf(HasSubstr("regsvr32 /s core.dll"), Not(HasSubstr("viewer"))));
    EXPECT_THAT(instant.scripts[3], HasSubstr("regsvr32 /s hook.dll"));
    EXPECT_EQ(everything().at("machine"), before.at("machine"));
    EXPECT_EQ(everything().at("package"), before.at("package"));

    // A second restore finds everything as before and changes nothing.
    const auto restored = everything();
    EXPECT_EQ(run({"--restore"}), kSuccess) << err.str();
    EXPECT_THAT(outLines(), ::testing::Each(HasSubstr("\tas before\t")));
    EXPECT_EQ(everything().at("machine"), restored.at("machine"));

    EXPECT_THAT(test::readFile(log),
                AllOf(HasSubstr("Sucessfully Applied the HotFix"), HasSubstr("Vantrel\tremoved\t"),
                      HasSubstr("Restored what the HotFix had replaced")));
}

TEST_F(Headless, restoreAfterARunCutOffMidwayPutsBackWhatItHadReplaced) {
    const auto before = everything();
    test::HookedFileSystem dying(*files);
    int replacements = 0;
    dying.before = [&](std::string_view op, std::string_view) {
        if (op == "moveFileOver" && ++replacements == 2) {
            throw Crash{};
        }
    };
    EXPECT_THROW(run({"--install"}, &dying), Crash);
    startProcess();
    ASSERT_EQ(machine.read("Vantrel/bin/core.dll"), "core 2");
    ASSERT_EQ(machine.read("Vantrel/Common/help.txt"), "help 1");

    EXPECT_EQ(run({"--restore"}), kSuccess) << err.str();
    EXPECT_EQ(everything().at("machine"), before.at("machine"));
}

TEST_F(Headless, restoreLeavesAFileChangedSinceTheInstallAndSaysSo) {
    ASSERT_EQ(run({"--install"}), kSuccess) << err.str();
    machine.write("Vantrel/Common/help.txt", "help 3, from a later hot fix");

    EXPECT_EQ(run({"--restore"}), kFailure);

    EXPECT_EQ(machine.read("Vantrel/Common/help.txt"), "help 3, from a later hot fix");
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 1");
    EXPECT_EQ(machine.read("WINNT/system32/hook.dll"), "hook 1");
    EXPECT_FALSE(machine.exists("Vantrel/bin/viewer.dll"));
    EXPECT_THAT(err.str(), HasSubstr("help.txt'' was changed after the HotFix was applied"));
    EXPECT_THAT(outLines(), ::testing::Contains(HasSubstr("\tchanged since\t")));
}

} // namespace
} // namespace hotfix::cli
