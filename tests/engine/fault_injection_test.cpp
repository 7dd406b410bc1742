#include "engine/install_run.hpp"
#include "engine/restore_run.hpp"
#include "platform/platform_services.hpp"
#include "support/code_pages.hpp"
#include "support/fault_injecting_file_system.hpp"
#include "support/forwarding_file_system.hpp"
#include "support/temp_dir.hpp"
#include "support/without_hard_links.hpp"
#include "support/workstation.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hotfix {
namespace {

namespace fs = std::filesystem;
using Fault = test::FaultInjectingFileSystem::Fault;

const std::string kSuccess = "Sucessfully Applied the HotFix";
const std::string kFailed = " HotFix Failed, Please try again  ";

struct PackageItem {
    Side side;
    std::string_view folder;         // as listed
    std::string_view name;           // as listed
    std::string_view installed = {}; // below the side's root, "/"-separated; empty for a new file
    bool readOnly = false;
};

// A hot fix over both sides: installed and new files, libraries and other files, read-only files, folders
// with blanks, items whose folder head repeats the root's last folder name, a file in the root, and a new
// file whose folder the workstation does not have (passed over).
constexpr PackageItem kItems[] = {
    {.side = Side::Product, .folder = "bin\\", .name = "core.dll", .installed = "bin/core.dll"},
    {.side = Side::Product, .folder = "bin\\", .name = "report.exe", .installed = "bin/report.exe"},
    {.side = Side::Product,
     .folder = "bin\\",
     .name = "locked.dat",
     .installed = "bin/locked.dat",
     .readOnly = true},
    {.side = Side::Product, .folder = "bin\\", .name = "plugin.dll"},
    {.side = Side::Product,
     .folder = "Common Files\\",
     .name = "shared lib.dll",
     .installed = "Common Files/shared lib.dll"},
    {.side = Side::Product, .folder = "Common Files\\", .name = "notes.txt"},
    {.side = Side::Product, .folder = "Vantrel\\lib\\", .name = "MYDLL", .installed = "lib/MYDLL"},
    {.side = Side::Product, .folder = "Vantrel\\lib\\", .name = "engine.cfg"},
    {.side = Side::Product, .folder = "\\", .name = "suite.ini", .installed = "suite.ini"},
    {.side = Side::Product, .folder = "data\\", .name = "catalog.dat", .installed = "data/catalog.dat"},
    {.side = Side::Product, .folder = "extras\\", .name = "optional.txt"},
    {.side = Side::Windows, .folder = "system32\\", .name = "kernel.dll", .installed = "system32/kernel.dll"},
    {.side = Side::Windows,
     .folder = "system32\\",
     .name = "driver.DLL",
     .installed = "system32/driver.DLL",
     .readOnly = true},
    {.side = Side::Windows, .folder = "system32\\", .name = "new32.dll"},
    {.side = Side::Windows, .folder = "WINNT\\fonts\\", .name = "serif.ttf", .installed = "fonts/serif.ttf"},
    {.side = Side::Windows,
     .folder = "Program Files\\Shared Tools\\",
     .name = "tool box.dll",
     .installed = "Program Files/Shared Tools/tool box.dll"},
    {.side = Side::Windows, .folder = "inf\\", .name = "setup.inf", .installed = "inf/setup.inf"},
    {.side = Side::Windows, .folder = "inf\\", .name = "extra.inf"},
    {.side = Side::Windows,
     .folder = "system32\\drivers\\",
     .name = "net.sys",
     .installed = "system32/drivers/net.sys"},
    {.side = Side::Windows, .folder = "help\\", .name = "readme.hlp", .installed = "help/readme.hlp"},
};

struct Scenario {
    std::string_view name;
    bool registerDlls = true;
    // Backups of an earlier hot fix beside two files, and a script an earlier run left behind.
    bool earlierLeftovers = false;
    // The same hot fix was applied once already, without a fault; the faults hit the second run.
    bool secondRun = false;
    // The workstation's file system has no hard links (FAT, some network shares): backups are copies.
    bool noHardLinks = false;
    // The install is recorded, so that a restore can undo it.
    bool recorded = false;
};

std::string posixRelative(std::string_view folder) {
    std::string out(folder);
    for (char& c : out) {
        if (c == '\\') {
            c = '/';
        }
    }
    return out;
}

std::string nativeString(const std::string& path) {
    return test::FaultInjectingFileSystem::nativePath(path).lexically_normal().string();
}

std::string newContent(const PackageItem& item) {
    return "new " + std::string(item.name) + " of the hot fix";
}

std::string sideRoot(Side side) {
    return side == Side::Product ? "Vantrel/" : "WINNT/";
}

using test::filesBelow;

// The package folder's files but its scripts, which come and go with the runs.
std::map<std::string, std::string> packageFiles(const fs::path& package) {
    std::map<std::string, std::string> out = filesBelow(package);
    std::erase_if(out, [](const auto& entry) { return entry.first.ends_with(".bat"); });
    return out;
}

// What was on the workstation and in the program folder before a run.
struct Snapshot {
    std::map<std::string, std::string> files;
    std::map<std::string, std::string> package;
    std::vector<std::string> scripts;
};

// A package folder and a workstation with the roots Vantrel and WINNT on real temporary folders, driven
// through the platform's file system with one fault in it.
class Workstation {
public:
    explicit Workstation(const Scenario& scenario)
        : linkless(*real)
        , fs(scenario.noHardLinks ? static_cast<FileSystem&>(linkless) : *real) {
        run.setRoots((machine.path() / "Vantrel").string(), (machine.path() / "WINNT").string());
        run.window.chkRegisterDlls = scenario.registerDlls;
        if (scenario.recorded) {
            run.services.recordFolder = records.str();
        }
        for (const PackageItem& item : kItems) {
            putInPlace(item);
        }
        if (scenario.earlierLeftovers) {
            machine.write("Vantrel/data/catalog.dat_backup", "catalog.dat of an earlier hot fix");
            machine.write("WINNT/inf/setup.inf-2005.5.1.9.7", "setup.inf of an earlier run this minute");
            package.write("Register.bat", "rem left by an earlier run\r\n");
        }
        if (scenario.secondRun) {
            beforeFirstRun = snapshot();
            install();
            run.boxes.shown.clear();
            fs.inject(Fault::None, 0);
        }
    }

    // Whether the run failed after it began its own install in the record: one the command line takes back.
    bool install() {
        InstallOutcome outcome;
        const RunResult result = runInstall(run.window, run.services, &outcome);
        // Every script's interpreter ends; only then may its file go.
        run.launcher.endAll();
        return outcome.recorded && result == RunResult::Failed;
    }

    // Takes the failed run back as the command line does, through the file system with its fault.
    bool rollBack() {
        const bool undone =
            rollBackInstall(run.window, run.services, [](const RestoredFile&) {}) == RunResult::Succeeded;
        run.launcher.endAll();
        return undone;
    }

    // Undoes the last install through the file system without faults; false when it says it could not.
    bool restore() {
        const EngineServices clean{package.str(), *real, run.boxes, run.launcher, test::machineCodePages(),
                                   records.str()};
        const bool restored =
            runRestore(run.window, clean, [](const RestoredFile&) {}) == RunResult::Succeeded;
        run.launcher.endAll();
        return restored;
    }

    std::map<std::string, std::string> files() const { return filesBelow(machine.path()); }

    // Each listed destination by its path below the machine folder, with its package file's content.
    std::map<std::string, std::string> listedDestinations() const {
        std::map<std::string, std::string> out;
        for (const PackageItem& item : kItems) {
            out[fs::relative(destinationOf(item), machine.path()).generic_string()] = newContent(item);
        }
        return out;
    }

    // What each listed destination holds, or "<none>".
    std::vector<std::string> listedFiles() const {
        std::vector<std::string> out;
        for (const PackageItem& item : kItems) {
            const fs::path path = destinationOf(item);
            out.push_back(fs::is_regular_file(path) ? test::readFile(path) : "<none>");
        }
        return out;
    }

    std::vector<std::string> scriptsLeft() const {
        std::vector<std::string> out;
        for (const auto& entry : fs::directory_iterator(package.path())) {
            if (entry.path().extension() == ".bat") {
                out.push_back(entry.path().filename().string());
            }
        }
        return out;
    }

    Snapshot snapshot() const { return {files(), packageFiles(package.path()), scriptsLeft()}; }

    test::TempDir package;
    test::TempDir machine;
    test::TempDir records;
    std::optional<Snapshot> beforeFirstRun;
    std::unique_ptr<FileSystem> real = makeFileSystem();
    test::WithoutHardLinks linkless;
    test::FaultInjectingFileSystem fs;
    test::Workstation run{package.str(), fs};

private:
    // Lists the item, puts its new version into the package and its installed version on the workstation.
    void putInPlace(const PackageItem& item) {
        run.list(item.side, item.folder, item.name);
        package.write(test::packageRelative(item.side, posixRelative(item.folder), item.name),
                      newContent(item));
        if (item.installed.empty()) {
            return;
        }
        const fs::path path = machine.write(sideRoot(item.side) + std::string(item.installed),
                                            "installed " + std::string(item.name));
        if (item.readOnly) {
            fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                            fs::perm_options::remove);
        }
    }

    fs::path destinationOf(const PackageItem& item) const {
        const std::string root = item.side == Side::Product ? run.window.TxtPath : run.window.TxtWinPath;
        return nativeString(DestinationPath(root, item.folder, item.name));
    }
};

// The installed file that a new file beside it backs up: the listed destination whose name its name
// begins with, in the same folder.
std::optional<std::string> backedUpFile(const std::string& path,
                                        const std::map<std::string, std::string>& listed) {
    const fs::path candidate(path);
    for (const auto& [destination, content] : listed) {
        const fs::path installed(destination);
        if (candidate.parent_path() == installed.parent_path() && path != destination &&
            candidate.filename().string().starts_with(installed.filename().string())) {
            return destination;
        }
    }
    return std::nullopt;
}

// Two names of one file: a backup that is still the installed file would change with it.
bool sameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error);
}

// An earlier file must be byte for byte as it was, or a listed one as its package file.
void checkEarlierFiles(const Workstation& ws, const Snapshot& before, std::vector<std::string>& broken) {
    const auto after = ws.files();
    const auto listed = ws.listedDestinations();
    for (const auto& [path, content] : before.files) {
        const auto now = after.find(path);
        const auto asListed = listed.find(path);
        if (now == after.end()) {
            broken.push_back("removed " + path);
        } else if (now->second != content && (asListed == listed.end() || now->second != asListed->second)) {
            broken.push_back(path + " holds '" + now->second + "'");
        }
    }
}

// A new file is a listed one as its package file, or a backup holding byte for byte what the file it backs
// up held before, in a file of its own. Anything else (a temporary or half-written file) is a fault.
void checkNewFiles(const Workstation& ws, const Snapshot& before, std::vector<std::string>& broken,
                   bool listedMayBeNew = true) {
    const auto listed = ws.listedDestinations();
    for (const auto& [path, content] : ws.files()) {
        if (before.files.contains(path)) {
            continue;
        }
        if (const auto asListed = listed.find(path); asListed != listed.end()) {
            if (!listedMayBeNew) {
                broken.push_back("the new file " + path + " is still there");
                continue;
            }
            if (content != asListed->second) {
                broken.push_back("new file " + path + " holds '" + content + "'");
            }
            continue;
        }
        const auto original = backedUpFile(path, listed);
        if (!original) {
            broken.push_back("left " + path);
            continue;
        }
        const auto was = before.files.find(*original);
        if (was == before.files.end() || was->second != content) {
            broken.push_back("backup " + path + " holds '" + content + "'");
        }
        if (sameFile(ws.machine.path() / path, ws.machine.path() / *original)) {
            broken.push_back("backup " + path + " shares its file with " + *original);
        }
    }
}

// The run closes with its message, which claims success only where every listed file is as a clean run left
// it; every other box is an error box.
void checkMessages(const Workstation& ws, const std::vector<std::string>& cleanListed,
                   std::vector<std::string>& broken) {
    const auto& boxes = ws.run.boxes.shown;
    if (boxes.empty() || (boxes.back().prompt != kSuccess && boxes.back().prompt != kFailed)) {
        broken.push_back("no closing message");
    }
    if (!boxes.empty() && boxes.back().prompt == kSuccess) {
        const auto listedNow = ws.listedFiles();
        for (std::size_t i = 0; i < listedNow.size(); ++i) {
            if (listedNow[i] != cleanListed[i]) {
                broken.push_back("reported success although " + std::string(kItems[i].name) + " holds '" +
                                 listedNow[i] + "'");
            }
        }
    }
    for (const MsgBoxRequest& box : boxes) {
        const bool isError = box.prompt != kSuccess;
        if (isError &&
            (box.shownTitle() != "Error" || box.icon != MsgIcon::Critical || box.buttons != MsgButtons::Ok)) {
            broken.push_back("error box '" + box.prompt + "' titled '" + box.shownTitle() +
                             "' without the stop icon");
        }
    }
}

// What a run broke of the promises a hot fix makes, in words; empty when it kept them all: every file on the
// workstation accounted for, the package folder as it was, no script of this run left behind and the truth
// told.
std::vector<std::string> brokenPromises(const Workstation& ws, const Snapshot& before,
                                        const std::vector<std::string>& cleanListed) {
    std::vector<std::string> broken;
    checkEarlierFiles(ws, before, broken);
    checkNewFiles(ws, before, broken);
    if (packageFiles(ws.package.path()) != before.package) {
        broken.push_back("changed the package folder");
    }
    checkMessages(ws, cleanListed, broken);
    for (const std::string& script : ws.scriptsLeft()) {
        if (std::find(before.scripts.begin(), before.scripts.end(), script) == before.scripts.end()) {
            broken.push_back("left the script " + script);
        }
    }
    return broken;
}

// What a restore after a run left undone: every earlier file must hold what it held before the run, and
// nothing may be new but a complete backup of one, in a file of its own (a run that found a package file
// missing keeps a copy of the file it could not replace).
std::vector<std::string> notGivenBack(const Workstation& ws, const Snapshot& before) {
    std::vector<std::string> broken;
    const auto after = ws.files();
    for (const auto& [path, content] : before.files) {
        const auto now = after.find(path);
        if (now == after.end() || now->second != content) {
            broken.push_back(path + (now == after.end() ? " is gone" : " holds '" + now->second + "'"));
        }
    }
    checkNewFiles(ws, before, broken, false);
    if (packageFiles(ws.package.path()) != before.package) {
        broken.push_back("changed the package folder");
    }
    return broken;
}

struct Tally {
    int tried = 0;
    int held = 0;
    std::vector<std::string> failures;
};

// Every fault point, or where HOTFIX_FAULT_STRIDE is n above 1 (under Wine, where each point costs a
// hundred times as much), every n-th one and the first and last point of each kind of operation, so that no
// kind goes untried.
std::vector<int> faultPoints(const std::vector<std::string>& kinds) {
    const char* stride = std::getenv("HOTFIX_FAULT_STRIDE");
    const int n = stride != nullptr ? std::max(1, std::atoi(stride)) : 1;
    std::map<std::string, std::pair<int, int>> firstAndLast;
    for (int k = 1; k <= static_cast<int>(kinds.size()); ++k) {
        const auto entry = firstAndLast.try_emplace(kinds[static_cast<std::size_t>(k - 1)], k, k).first;
        entry->second.second = k;
    }
    std::vector<int> points;
    for (int k = 1; k <= static_cast<int>(kinds.size()); ++k) {
        const auto& [first, last] = firstAndLast.at(kinds[static_cast<std::size_t>(k - 1)]);
        if ((k - 1) % n == 0 || k == first || k == last) {
            points.push_back(k);
        }
    }
    return points;
}

// Runs the whole install once per fault point of the mode and checks every promise after each run.
void scan(const Scenario& scenario, Fault fault, std::string_view modeName,
          const std::vector<std::string>& kinds, const std::vector<std::string>& cleanListed, Tally& total) {
    Tally tally;
    for (const int k : faultPoints(kinds)) {
        Workstation ws(scenario);
        const Snapshot before = ws.snapshot();
        ws.fs.inject(fault, k);
        const bool failedRecorded = ws.install();
        ++tally.tried;
        std::vector<std::string> broken = brokenPromises(ws, before, cleanListed);
        // A failed run taken back leaves the workstation byte for byte as it found it, nothing added; where
        // the fault keeps it from that (a full disk that refuses even renames), it says so, and the restore
        // below still gives everything back.
        if (broken.empty() && failedRecorded && ws.rollBack()) {
            broken = notGivenBack(ws, before);
            for (const auto& [path, content] : ws.files()) {
                if (!before.files.contains(path)) {
                    broken.push_back("the rollback left " + path);
                }
            }
        }
        if (scenario.recorded && broken.empty()) {
            const std::size_t boxesBefore = ws.run.boxes.shown.size();
            // Where no install was recorded, nothing was changed either: the restore finds nothing to undo.
            if (!ws.restore()) {
                for (std::size_t i = boxesBefore; i < ws.run.boxes.shown.size(); ++i) {
                    broken.push_back("the restore said '" + ws.run.boxes.shown[i].prompt + "'");
                }
            }
            // The restore undoes every install of the hot fix: the workstation is as before the first.
            const auto undone = notGivenBack(ws, ws.beforeFirstRun ? *ws.beforeFirstRun : before);
            broken.insert(broken.end(), undone.begin(), undone.end());
        }
        if (!ws.fs.firstFailure()) {
            broken.push_back("the fault never happened");
        }
        if (broken.empty()) {
            ++tally.held;
            continue;
        }
        for (const std::string& what : broken) {
            tally.failures.push_back(std::string(scenario.name) + ", " + std::string(modeName) + " " +
                                     std::to_string(k) + " (" + ws.fs.firstFailure().value_or("?") +
                                     "): " + what);
        }
    }
    std::printf("  %-38s %-24s %4d tried, %4d held\n", std::string(scenario.name).c_str(),
                std::string(modeName).c_str(), tally.tried, tally.held);
    total.tried += tally.tried;
    total.held += tally.held;
    total.failures.insert(total.failures.end(), tally.failures.begin(), tally.failures.end());
}

// Each scenario is a test of its own, so that the scenarios run side by side where there are cores.
const Scenario kScenarios[] = {
    {.name = "fresh workstation"},
    {.name = "earlier backups, dlls not registered", .registerDlls = false, .earlierLeftovers = true},
    {.name = "second run of the same fix", .secondRun = true},
    {.name = "second run, no hard links", .secondRun = true, .noHardLinks = true},
    // After each fault, a restore must give the workstation back as it was before the run.
    {.name = "recorded, then restored", .recorded = true},
    {.name = "recorded second run, restored", .secondRun = true, .recorded = true},
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

class FaultInjection : public ::testing::TestWithParam<Scenario> {};

TEST_P(FaultInjection, everyFailingFileOperationOfAWholeInstallKeepsEveryOriginalAndTellsTheTruth) {
    const Scenario& scenario = GetParam();
    Workstation clean(scenario);
    const Snapshot before = clean.snapshot();
    clean.install();
    const std::vector<std::string> cleanListed = clean.listedFiles();
    ASSERT_EQ(clean.run.boxes.shown.size(), 1U);
    ASSERT_EQ(clean.run.boxes.shown.back().prompt, kSuccess);
    ASSERT_TRUE(brokenPromises(clean, before, cleanListed).empty());

    Tally total;
    std::printf("Fault injection over a whole install of %zu items:\n", std::size(kItems));
    const std::vector<std::string> operations = clean.fs.operationKinds();
    const std::vector<std::string> writes = clean.fs.writeKinds();
    scan(scenario, Fault::OneOperation, "operation k fails", operations, cleanListed, total);
    scan(scenario, Fault::OneWritePartway, "write k fails partway", writes, cleanListed, total);
    scan(scenario, Fault::DiskFullFromWrite, "disk full from write k", writes, cleanListed, total);
    std::printf("Fault points: %d tried, %d held\n", total.tried, total.held);
    ::testing::Test::RecordProperty("fault_points_tried", total.tried);
    ::testing::Test::RecordProperty("fault_points_held", total.held);

    EXPECT_EQ(total.held, total.tried);
    for (std::size_t i = 0; i < total.failures.size() && i < 100; ++i) {
        ADD_FAILURE() << total.failures[i];
    }
}

// The scenario's name in words joined in camel case: "second run, no hard links" is secondRunNoHardLinks.
std::string scenarioTestName(const ::testing::TestParamInfo<Scenario>& info) {
    std::string name;
    bool upper = false;
    for (const char c : info.param.name) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0) {
            upper = !name.empty();
            continue;
        }
        name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
        upper = false;
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultInjection, ::testing::ValuesIn(kScenarios), scenarioTestName);

class RepeatedInstall : public ::testing::Test {
protected:
    void installTwiceKeepingEveryOriginal() {
        const Snapshot before = ws.snapshot();
        ws.install();
        const auto cleanListed = ws.listedFiles();
        EXPECT_THAT(brokenPromises(ws, before, cleanListed), ::testing::IsEmpty());
        const Snapshot between = ws.snapshot();
        ws.install();
        ASSERT_EQ(ws.run.boxes.shown.size(), 2U);
        EXPECT_EQ(ws.run.boxes.shown[0].prompt, kSuccess);
        EXPECT_EQ(ws.run.boxes.shown[1].prompt, kSuccess);
        EXPECT_THAT(brokenPromises(ws, between, cleanListed), ::testing::IsEmpty());
        // The second run leaves every listed file as the first left it.
        EXPECT_EQ(ws.listedFiles(), cleanListed);
    }

    Workstation ws{Scenario{.name = "repeated"}};
};

TEST_F(RepeatedInstall, twoRunsInARowKeepTheFirstBackups) {
    installTwiceKeepingEveryOriginal();
    EXPECT_EQ(test::readFile(ws.machine.path() / "Vantrel/bin/core.dll_backup"), "installed core.dll");
    EXPECT_EQ(test::readFile(ws.machine.path() / "Vantrel/bin/core.dll-2005.5.1.9.7"),
              "new core.dll of the hot fix");
}

TEST_F(RepeatedInstall, twoRunsInTheSameMinuteWithTheDateSuffixKeepTheFirstBackups) {
    ws.run.window.tickAppendDate();
    installTwiceKeepingEveryOriginal();
    EXPECT_EQ(test::readFile(ws.machine.path() / "Vantrel/bin/core.dll-2005.5.1.9.7"), "installed core.dll");
    EXPECT_FALSE(fs::exists(ws.machine.path() / "Vantrel/bin/core.dll_backup"));
}

} // namespace
} // namespace hotfix
