#include "cli/headless_run.hpp"
#include "cli/script_waiter.hpp"
#include "engine/install_record.hpp"
#include "platform/platform_services.hpp"
#include "support/fake_launcher.hpp"
#include "support/fake_registry.hpp"
#include "support/hooked_file_system.hpp"
#include "support/memory_settings.hpp"
#include "support/temp_dir.hpp"

#include <filesystem>
#include <map>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hotfix::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// Runs a script at once: it removes itself, as its last line does, and its exit is handed to the waiter.
class InstantLauncher final : public ProcessLauncher {
public:
    bool startScript(const std::string& scriptPath, ExitHandler onExit) override {
        const fs::path path = test::FakeLauncher::hostPath(scriptPath);
        scripts.push_back(test::readFile(path));
        fs::remove(path);
        post(std::move(onExit));
        return true;
    }
    CallbackPoster post;
    std::vector<std::string> scripts;
};

// The process dies: nothing after this call runs.
struct Crash {};

// A package with both sides, a workstation with the roots Vantrel and WINNT, and a machine data folder for
// the records, all on real temporary folders.
class Headless : public ::testing::Test {
protected:
    Headless() {
        package.write("Setup/InstallPatch.BLR", "bin\\core.dll, bin\\viewer.dll, Common\\help.txt\r\n");
        package.write("Setup/InstallWinPatch.BLR", "system32\\hook.dll\r\n");
        package.write("Setup/Vtrl/bin/core.dll", "core 2");
        package.write("Setup/Vtrl/bin/viewer.dll", "viewer 2 (new)");
        package.write("Setup/Vtrl/Common/help.txt", "help 2");
        package.write("Setup/Othr/system32/hook.dll", "hook 2");
        machine.write("Vantrel/bin/core.dll", "core 1");
        machine.write("Vantrel/Common/help.txt", "help 1");
        machine.write("WINNT/system32/hook.dll", "hook 1");
        registry.set("SOFTWARE\\Vantrel Software", "QXINSTALLDIR", root("Vantrel"));
        registry.set("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "PathName", root("WINNT"));
        instant.post = launcher.poster();
        launcher.useLauncher(instant);
    }

    std::string root(std::string_view name) const { return (machine.path() / name).string(); }

    int run(const std::vector<std::string>& arguments, FileSystem* through = nullptr) {
        out.str("");
        err.str("");
        const auto parsed = parseCommandLine(arguments);
        if (const auto* error = std::get_if<ArgumentError>(&parsed)) {
            err << error->message;
            return kBadArguments;
        }
        HeadlessServices services{package.str(), through != nullptr ? *through : *files,
                                  registry,      settings,
                                  launcher,      data.str(),
                                  out,           err};
        services.now = {2026, 12, 7, 9, 5};
        return runHeadless(std::get<Options>(parsed), services);
    }

    std::vector<std::string> outLines() const {
        std::vector<std::string> lines;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    std::map<std::string, std::string> everything() const {
        return {{"machine", flatten(test::filesBelow(machine.path()))},
                {"package", flatten(test::filesBelow(package.path()))},
                {"data", flatten(test::filesBelow(data.path()))}};
    }

    static std::string flatten(const std::map<std::string, std::string>& files) {
        std::string text;
        for (const auto& [path, content] : files) {
            text += path + "=" + content + "\n";
        }
        return text;
    }

    test::TempDir package;
    test::TempDir machine;
    test::TempDir data;
    std::unique_ptr<FileSystem> files = makeFileSystem();
    test::FakeRegistry registry;
    test::MemorySettings settings;
    InstantLauncher instant;
    ScriptWaiter launcher;
    std::ostringstream out;
    std::ostringstream err;
};

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
    EXPECT_THAT(outLines(), ElementsAre(HasSubstr("refused, package file missing"), HasSubstr("copy new"),
                                        HasSubstr("pass over, folder missing"), HasSubstr("hook.dll_old")));
    EXPECT_EQ(everything(), before);
}

TEST_F(Headless, argumentsThatCannotBeRunExitTwoBeforeAnythingIsTouched) {
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
}

TEST_F(Headless, installThenRestoreGivesBackTheOriginalTreesByteForByte) {
    const auto before = everything();
    const std::string log = (data.path() / "run.log").string();

    EXPECT_EQ(run({"--install", "--register-dlls", "--log", log}), kSuccess) << err.str();
    EXPECT_EQ(err.str(), "HotFix Installer: Sucessfully Applied the HotFix\n");
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 2");
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll_backup"), "core 1");
    EXPECT_EQ(machine.read("Vantrel/bin/viewer.dll"), "viewer 2 (new)");
    EXPECT_EQ(instant.scripts.size(), 2U);
    // The record names each file with its backup and the SHA-256 of "core 1" and "core 2", then the
    // temporary file.
    const std::string vantrel = root("Vantrel");
    const std::string line =
        RecordLine({"file", "Vantrel", vantrel + "\\bin\\core.dll", vantrel + "\\bin\\core.dll_backup",
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

TEST_F(Headless, restoreWithoutARecordedInstallSaysSo) {
    EXPECT_EQ(run({"--restore"}), kFailure);
    EXPECT_THAT(err.str(), HasSubstr("No install of this HotFix is recorded"));
    EXPECT_THAT(outLines(), IsEmpty());
}

} // namespace
} // namespace hotfix::cli
