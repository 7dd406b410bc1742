#include "cli/headless_fixture.hpp"
#include "support/hooked_file_system.hpp"

#include <algorithm>
#include <cctype>
#include <functional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

// The program as a deployment tool runs it on a fleet: retried, detected, refused what it cannot run, logged.
namespace hotfix::cli {
namespace {

namespace fs = std::filesystem;
using test::Headless;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

TEST(DeploymentCommandLine, guessesOfADeploymentToolAreRefusedNeverTheWindow) {
    for (const std::vector<std::string>& guess : {std::vector<std::string>{"/quiet"},
                                                  {"/S"},
                                                  {"-install"},
                                                  {"/install"},
                                                  {"install"},
                                                  {"-platform"},
                                                  {"--install", "/quiet"}}) {
        const auto parsed = parseCommandLine(guess);
        EXPECT_TRUE(std::holds_alternative<ArgumentError>(parsed)) << guess.front();
    }
    for (const std::vector<std::string>& help :
         {std::vector<std::string>{"-h"}, {"/?"}, {"-?"}, {"--help"}}) {
        const auto parsed = parseCommandLine(help);
        ASSERT_TRUE(std::holds_alternative<Options>(parsed)) << help.front();
        EXPECT_EQ(std::get<Options>(parsed).mode, Mode::Help);
    }
    // The toolkit's own options still open the window.
    for (const std::vector<std::string>& toolkit :
         {std::vector<std::string>{"-platform", "offscreen"}, {"-style=fusion", "-reverse"}, {}}) {
        const auto parsed = parseCommandLine(toolkit);
        ASSERT_TRUE(std::holds_alternative<Options>(parsed));
        EXPECT_EQ(std::get<Options>(parsed).mode, Mode::Window);
    }
}

TEST_F(Headless, detectAndARetryFollowWhatIsInPlaceAndChangeNothingElse) {
    const auto before = everything();
    EXPECT_EQ(run({"--detect"}), kFailure);
    EXPECT_THAT(outLines(), IsEmpty());
    EXPECT_EQ(everything(), before);

    ASSERT_EQ(run({"--install", "--register-dlls"}), kSuccess) << err.str();
    const auto installed = everything();
    const std::size_t scripts = instant.scripts.size();
    EXPECT_EQ(run({"--detect"}), kSuccess) << err.str();
    EXPECT_THAT(outLines(), ElementsAre(AllOf(HasSubstr("HotFix "), HasSubstr(" is in place"))));
    EXPECT_EQ(run({"--install", "--register-dlls"}), kSuccess) << err.str();
    EXPECT_THAT(err.str(), HasSubstr("in place already; nothing was changed"));
    EXPECT_EQ(everything(), installed);
    EXPECT_EQ(instant.scripts.size(), scripts);

    // One file went back: the hot fix is not in place, and a retry backs up and replaces only that one.
    machine.write("Vantrel/Common/help.txt", "help 1");
    EXPECT_EQ(run({"--detect"}), kFailure);
    EXPECT_THAT(outLines(), IsEmpty());
    EXPECT_EQ(run({"--check"}), kSuccess);
    EXPECT_THAT(outLines(), ElementsAre(HasSubstr("\talready in place\t"), HasSubstr("\talready in place\t"),
                                        HasSubstr("\treplace\t"), HasSubstr("\talready in place\t")));
    EXPECT_EQ(run({"--install"}), kSuccess) << err.str();
    EXPECT_EQ(machine.read("Vantrel/Common/help.txt"), "help 2");
    // The first backup is there already: the checks take the date suffix, as they always have.
    EXPECT_EQ(machine.read("Vantrel/Common/help.txt-2026.12.7.9.5"), "help 1");
    EXPECT_FALSE(machine.exists("Vantrel/bin/core.dll-2026.12.7.9.5"));
}

TEST_F(Headless, aHotFixThatOnlyAddsFilesIsAppliedAndSaysEveryFileWasNew) {
    fs::remove_all(machine.path() / "Vantrel/bin");
    fs::create_directories(machine.path() / "Vantrel/bin");
    fs::remove(machine.path() / "Vantrel/Common/help.txt");
    fs::remove(machine.path() / "WINNT/system32/hook.dll");

    EXPECT_EQ(run({"--install"}), kSuccess) << err.str();
    EXPECT_THAT(err.str(), AllOf(HasSubstr("Every file of the HotFix was new"),
                                 HasSubstr("Sucessfully Applied the HotFix")));
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 2");
}

TEST_F(Headless, aLibraryRegsvr32RefusesFailsTheRunAndIsNamedWithItsCode) {
    // The first library of the Windows side's script, refused with regsvr32's code 3.
    instant.exitCode = 1 * 16 + 3;
    EXPECT_EQ(run({"--install"}), kFailure);
    EXPECT_THAT(err.str(), HasSubstr("Library ''" + root("WINNT") +
                                     "\\system32\\hook.dll'' could not be registered: "
                                     "regsvr32 ended with 3"));
    EXPECT_THAT(instant.scripts.back(),
                AllOf(HasSubstr("set hotfixFailed=0"), HasSubstr("exit %hotfixFailed%")));
    // The files went in, but the hot fix was not applied: no success is said, not even before the error.
    EXPECT_THAT(err.str(), Not(HasSubstr("Sucessfully")));
}

// An entry that names no file is named with its line; --check fails on it, the install goes on without it.
TEST_F(Headless, aListEntryThatNamesNoFileIsNamedWithItsLineAndFailsTheCheck) {
    package.write("Setup/InstallPatch.BLR", "bin\\core.dll,\r\n core.dll , Common\\help.txt, NUL\r\n");
    EXPECT_EQ(run({"--check"}), kFailure);
    EXPECT_THAT(err.str(), AllOf(HasSubstr("at line 2 an entry that names no file: \"core.dll\""),
                                 HasSubstr("at line 2 an entry that names no file: \"NUL\""),
                                 HasSubstr("InstallPatch.BLR"), Not(HasSubstr("Patch: error"))));
    EXPECT_EQ(run({"--install"}), kSuccess) << err.str();
    EXPECT_EQ(machine.read("Vantrel/Common/help.txt"), "help 2");
}

TEST_F(Headless, aFailedInstallPutsBackWhatItChangedUnlessToldToKeepIt) {
    const std::string before = everything()["machine"];
    hotfix::test::HookedFileSystem failing(*files);
    failing.failWhen = [](std::string_view op, std::string_view path) {
        return op == "moveFileOver" && path.ends_with("help.txt");
    };
    EXPECT_EQ(run({"--install"}, &failing), kFailure);
    // Byte for byte, backups and temporaries gone: the workstation as the run found it.
    EXPECT_EQ(everything()["machine"], before);
    EXPECT_THAT(outLines(), Contains(AllOf(HasSubstr("Vantrel\trestored\t"), HasSubstr("core.dll"))));
    EXPECT_THAT(err.str(),
                HasSubstr("The HotFix was not applied: every file it changed is as it was before"));
    // Nothing of it is in place, and nothing is left for a restore.
    EXPECT_EQ(run({"--detect"}), kFailure);
    EXPECT_EQ(run({"--restore"}), kSuccess) << err.str();
    EXPECT_THAT(err.str(), HasSubstr("undone already"));

    EXPECT_EQ(run({"--install", "--keep-partial"}, &failing), kFailure);
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 2");
    EXPECT_EQ(machine.read("Vantrel/Common/help.txt"), "help 1");
    EXPECT_EQ(run({"--restore"}), kSuccess) << err.str();
    EXPECT_EQ(everything()["machine"], before);
    EXPECT_EQ(run({"--install"}), kSuccess) << err.str();
}

// The rollback goes on where its heading could not be written; nothing it writes after may stand without it.
TEST_F(Headless, aRollbackWithoutItsHeadingLeavesARecordTheRestoreReads) {
    hotfix::test::HookedFileSystem failing(*files);
    bool moveFailed = false;
    bool rollingBack = false;
    bool headingFailed = false;
    failing.failWhen = [&](std::string_view op, std::string_view path) {
        if (op == "moveFileOver" && path.ends_with("help.txt")) {
            return moveFailed = true;
        }
        rollingBack = rollingBack || (moveFailed && op == "readFile" && path.ends_with("record.txt"));
        return rollingBack && op == "appendDurably" && !std::exchange(headingFailed, true);
    };
    EXPECT_EQ(run({"--install"}, &failing), kFailure);
    ASSERT_TRUE(headingFailed);
    EXPECT_EQ(run({"--restore"}), kSuccess) << err.str();
    EXPECT_EQ(machine.read("WINNT/system32/hook.dll"), "hook 1");
}

TEST_F(Headless, aLibraryThatCannotBeRegisteredTakesTheInstallBackAndARetryRegistersIt) {
    const std::string before = everything()["machine"];
    instant.exitCode = 1 * 16 + 3;
    EXPECT_EQ(run({"--install"}), kFailure);
    EXPECT_EQ(everything()["machine"], before);
    // The original library is registered again once it is back.
    ASSERT_EQ(instant.scripts.size(), 2U);
    EXPECT_THAT(instant.scripts.back(), HasSubstr("hook.dll"));
    EXPECT_EQ(run({"--detect"}), kFailure);

    instant.exitCode = 0;
    EXPECT_EQ(run({"--install"}), kSuccess) << err.str();
    EXPECT_THAT(instant.scripts.back(), HasSubstr("hook.dll"));
    EXPECT_EQ(run({"--detect"}), kSuccess);
}

// Replaced, but never registered: regsvr32 refused it (the install kept what it changed), or the run died
// while it made the script. Either way the hot fix is not in place, and a retry registers that one alone.
TEST_F(Headless, aReplacedLibraryNeverRegisteredKeepsTheHotFixOutOfPlaceUntilARetryRegistersIt) {
    for (const bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "killed while the script was made" : "refused by regsvr32");
        if (killed) {
            // Every file is in place; the script is being made.
            hotfix::test::HookedFileSystem dying(*files);
            dying.before = [](std::string_view op, std::string_view) {
                if (op == "createTextFile") {
                    throw test::Crash{};
                }
            };
            EXPECT_THROW(run({"--install"}, &dying), test::Crash);
            startProcess();
        } else {
            instant.exitCode = 1 * 16 + 3;
            EXPECT_EQ(run({"--install", "--keep-partial"}), kFailure);
            instant.exitCode = 0;
        }
        EXPECT_EQ(machine.read("WINNT/system32/hook.dll"), "hook 2");
        EXPECT_EQ(run({"--detect"}), kFailure);
        EXPECT_EQ(run({"--check"}), kSuccess);
        EXPECT_THAT(outLines(),
                    Contains(AllOf(HasSubstr("Windows\tregister again\t"), HasSubstr("hook.dll"))));
        const auto registeredNot = everything()["machine"];
        const std::size_t scripts = instant.scripts.size();
        EXPECT_EQ(run({"--install"}), kSuccess) << err.str();
        EXPECT_EQ(everything()["machine"], registeredNot);
        ASSERT_EQ(instant.scripts.size(), scripts + 1);
        EXPECT_THAT(instant.scripts.back(), AllOf(HasSubstr("hook.dll"), Not(HasSubstr("core.dll"))));
        EXPECT_EQ(run({"--detect"}), kSuccess);
        EXPECT_EQ(run({"--install"}), kSuccess);
        EXPECT_EQ(instant.scripts.size(), scripts + 1);
        ASSERT_EQ(run({"--restore"}), kSuccess) << err.str();
    }
}

TEST_F(Headless, aListedFileThatNeitherThePackageNorTheWorkstationHasIsPassedOverByEveryMode) {
    package.write("Setup/InstallPatch.BLR", "bin\\core.dll, bin\\absent.dll\r\n");
    EXPECT_EQ(run({"--check"}), kSuccess);
    EXPECT_THAT(outLines(), Contains(HasSubstr("\tpass over, package file missing\t")));
    EXPECT_EQ(run({"--install"}), kSuccess) << err.str();
    EXPECT_EQ(run({"--detect"}), kSuccess);
    EXPECT_EQ(run({"--install"}), kSuccess);
    EXPECT_THAT(err.str(), HasSubstr("in place already"));
    // Where it is all there is, the install applies nothing, and nothing is found in place.
    package.write("Setup/InstallPatch.BLR", "bin\\absent.dll\r\n");
    package.write("Setup/InstallWinPatch.BLR", "");
    EXPECT_EQ(run({"--install"}), kFailure);
    EXPECT_EQ(run({"--detect"}), kFailure);
}

TEST_F(Headless, everyInstallIsLoggedOnTheMachineWithTheReasonOfAFailureAndTheExitCode) {
    hotfix::test::HookedFileSystem failing(*files);
    failing.failWhen = [](std::string_view op, std::string_view path) {
        return op == "moveFileOver" && path.ends_with("help.txt");
    };
    EXPECT_EQ(run({"--install"}, &failing), kFailure);
    const std::string log = machineLog();
    EXPECT_THAT(
        log, AllOf(HasSubstr("\thotfix-installer --install from "), HasSubstr("\tVantrel\treplaced\t"),
                   HasSubstr("help.txt\tthe test made the operation fail\n"), HasSubstr("\texit code 1\n")));
#ifndef _WIN32
    // The log is the records' own: only its owner may read or change it.
    EXPECT_EQ(fs::status(data.path() / "Logs").permissions() & fs::perms::all, fs::perms::owner_all);
#endif
    // A check changes nothing, not even the log.
    EXPECT_EQ(run({"--check"}), kSuccess);
    EXPECT_EQ(machineLog(), log);
    // A restore names the reason of the very call that failed, not of a look after it.
    ASSERT_EQ(run({"--install"}), kSuccess) << err.str();
    EXPECT_EQ(run({"--restore"}, &failing), kFailure);
    EXPECT_THAT(
        machineLog().substr(log.size()),
        AllOf(HasSubstr("help.txt\tthe test made the operation fail\n"), HasSubstr("\texit code 1\n")));
}

TEST_F(Headless, aPackageFolderThatCannotBeWrittenHasItsScriptsInTheRecordsFolder) {
    hotfix::test::HookedFileSystem readOnlyShare(*files);
    const std::string packageFolder = package.str();
    readOnlyShare.failWhen = [&](std::string_view op, std::string_view path) {
        return op == "createTextFile" && path.starts_with(packageFolder);
    };
    EXPECT_EQ(run({"--install", "--register-dlls"}, &readOnlyShare), kSuccess) << err.str();
    ASSERT_EQ(instant.scripts.size(), 2U);
    EXPECT_THAT(instant.scripts[1], HasSubstr("regsvr32 /s hook.dll"));
    EXPECT_FALSE(fs::exists(data.path() / "Scripts/RegisterWin.bat"));
    EXPECT_THAT(everything().at("package"), Not(HasSubstr(".bat")));
}

// --- One decision: what --check says of a file is what the install then does with it ---------------------

struct Decision {
    std::string_view action;
    // Options of both runs beside the root.
    std::vector<std::string> options;
    // Sets the machine up for the case; the package lists bin\core.dll alone.
    std::function<void(test::HeadlessMachine&)> setUp;
    // What the install did, seen on the machine.
    std::function<bool(const test::HeadlessMachine&)> done;
};

const Decision kDecisions[] = {
    {"replace",
     {},
     [](test::HeadlessMachine&) {},
     [](const test::HeadlessMachine& m) {
         return m.machine.read("Vantrel/bin/core.dll") == "core 2" &&
                m.machine.read("Vantrel/bin/core.dll_backup") == "core 1";
     }},
    {"copy new",
     {},
     [](test::HeadlessMachine& m) { fs::remove(m.machine.path() / "Vantrel/bin/core.dll"); },
     [](const test::HeadlessMachine& m) {
         return m.machine.read("Vantrel/bin/core.dll") == "core 2";
     }},
    {"pass over, folder missing",
     {},
     [](test::HeadlessMachine& m) { fs::remove_all(m.machine.path() / "Vantrel/bin"); },
     [](const test::HeadlessMachine& m) {
         return !m.machine.exists("Vantrel/bin");
     }},
    {"pass over, package file missing",
     {},
     [](test::HeadlessMachine& m) {
         fs::remove(m.machine.path() / "Vantrel/bin/core.dll");
         fs::remove(m.package.path() / "Setup/Vtrl/bin/core.dll");
     },
     [](const test::HeadlessMachine& m) {
         return !m.machine.exists("Vantrel/bin/core.dll");
     }},
    // The checks stop the install before it: the check exits 1, and the install changes nothing.
    {"back up only, package file missing",
     {},
     [](test::HeadlessMachine& m) { fs::remove(m.package.path() / "Setup/Vtrl/bin/core.dll"); },
     [](const test::HeadlessMachine& m) {
         return m.machine.read("Vantrel/bin/core.dll") == "core 1" &&
                !m.machine.exists("Vantrel/bin/core.dll_backup");
     }},
    {"refused, no free backup name",
     {"--date-suffix"},
     [](test::HeadlessMachine& m) {
         m.machine.write("Vantrel/bin/core.dll-2026.12.7.9.5", "taken");
         for (int n = 2; n <= 999; ++n) {
             m.machine.write("Vantrel/bin/core.dll-2026.12.7.9.5_" + std::to_string(n), "taken");
         }
     },
     [](const test::HeadlessMachine& m) {
         return m.machine.read("Vantrel/bin/core.dll") == "core 1";
     }},
    {"refused, the root is the package itself",
     {"--vantrel-root", "{package}\\Setup\\Vtrl"},
     [](test::HeadlessMachine&) {},
     [](const test::HeadlessMachine& m) {
         return m.package.read("Setup/Vtrl/bin/core.dll") == "core 2";
     }},
    {"already in place",
     {},
     [](test::HeadlessMachine& m) { m.machine.write("Vantrel/bin/core.dll", "core 2"); },
     [](const test::HeadlessMachine& m) {
         return m.machine.read("Vantrel/bin/core.dll") == "core 2" &&
                !m.machine.exists("Vantrel/bin/core.dll_backup");
     }},
};

void PrintTo(const Decision& decision, std::ostream* out) {
    *out << decision.action;
}

class OneDecision : public ::testing::TestWithParam<Decision> {};

TEST_P(OneDecision, checkSaysWhatTheInstallThenDoes) {
    test::HeadlessMachine m;
    m.package.write("Setup/InstallPatch.BLR", "bin\\core.dll\r\n");
    fs::remove(m.package.path() / "Setup/InstallWinPatch.BLR");
    GetParam().setUp(m);

    std::vector<std::string> arguments{"--check"};
    for (std::string option : GetParam().options) {
        if (const auto at = option.find("{package}"); at != std::string::npos) {
            option.replace(at, 9, m.package.str());
        }
        arguments.push_back(option);
    }
    if (std::find(arguments.begin(), arguments.end(), "--vantrel-root") == arguments.end()) {
        arguments.insert(arguments.end(), {"--vantrel-root", m.root("Vantrel")});
    }
    const int checked = m.run(arguments);
    ASSERT_EQ(m.outLines().size(), 1U);
    const std::string line = m.outLines().front();
    EXPECT_THAT(line, HasSubstr("\t" + std::string(GetParam().action) + "\t"));

    arguments.front() = "--install";
    const int installed = m.run(arguments);
    EXPECT_TRUE(GetParam().done(m)) << line << "\n" << m.err.str();
    // A check that does not pass is an install that stops at its checks.
    if (checked != kSuccess) {
        EXPECT_EQ(installed, kFailure);
    }
}

std::string decisionName(const ::testing::TestParamInfo<Decision>& info) {
    std::string name;
    for (const char c : info.param.action) {
        name += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryAction, OneDecision, ::testing::ValuesIn(kDecisions), decisionName);

} // namespace
} // namespace hotfix::cli
