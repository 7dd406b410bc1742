#include "engine/install_run.hpp"
#include "engine/restore_run.hpp"
#include "support/forwarding_file_system.hpp"
#include "support/power_cut_file_system.hpp"
#include "support/without_hard_links.hpp"
#include "support/workstation.hpp"

#include <algorithm>
#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hotfix {
namespace {

using test::PowerCut;
using test::PowerCutFileSystem;
using Survival = PowerCutFileSystem::Survival;

constexpr std::string_view kPackage = "C:\\Patch";
constexpr std::string_view kRecords = "C:\\ProgramData\\HotFix Installer";

struct Item {
    Side side;
    std::string_view folder;
    std::string_view name;
    // Where it is installed, below the side's root; empty for a new file.
    std::string_view installed = {};
    std::uint32_t marks = 0;
};

// Replaced libraries on both sides, a read-only file, new files, one whose folder is missing, a file in the
// root, and a file listed twice.
constexpr Item kItems[] = {
    {Side::Product, "bin\\", "core.dll", "bin\\core.dll"},
    {Side::Product, "bin\\", "locked.dat", "bin\\locked.dat", 1},
    {Side::Product, "bin\\", "plugin.dll"},
    {Side::Product, "extras\\", "optional.txt"},
    {Side::Product, "\\", "suite.ini", "suite.ini"},
    {Side::Product, "bin\\", "core.dll", "bin\\core.dll"},
    {Side::Windows, "system32\\", "hook.dll", "system32\\hook.dll"},
    {Side::Windows, "system32\\", "new32.dll"},
};

std::string rootOf(Side side) {
    return side == Side::Product ? "C:\\Vantrel" : "C:\\WINNT";
}

// As the file system in memory spells it: a run of separators is one.
std::string destinationOf(const Item& item) {
    std::string path = DestinationPath(rootOf(item.side), item.folder, item.name);
    path.erase(std::unique(path.begin(), path.end(), [](char a, char b) { return a == '\\' && b == '\\'; }),
               path.end());
    return path;
}

std::string newContent(const Item& item) {
    return "new " + std::string(item.name);
}

// A workstation in memory with the package's folder, and the engine's services on it.
struct Workstation {
    explicit Workstation(PowerCutFileSystem disk, bool hardLinks)
        : fs(std::move(disk))
        , linkless(fs)
        , run(std::string(kPackage), hardLinks ? static_cast<FileSystem&>(fs) : linkless,
              std::string(kRecords)) {
        run.setRoots(rootOf(Side::Product), rootOf(Side::Windows));
        run.window.chkRegisterDlls = true;
        for (const Item& item : kItems) {
            run.list(item.side, item.folder, item.name);
        }
        run.launcher.scriptsRemoveThemselves = false;
    }

    static PowerCutFileSystem fresh() {
        PowerCutFileSystem disk;
        for (const Item& item : kItems) {
            const std::string packageFolder =
                item.side == Side::Product ? "\\Setup\\Vtrl\\" : "\\Setup\\Othr\\";
            disk.put(std::string(kPackage) + packageFolder + std::string(item.folder) +
                         std::string(item.name),
                     newContent(item));
            if (!item.installed.empty()) {
                disk.put(rootOf(item.side) + "\\" + std::string(item.installed),
                         "old " + std::string(item.name), item.marks);
            }
        }
        disk.put(std::string(kPackage) + "\\Setup\\InstallPatch.BLR", "(read by the window)");
        disk.put("C:\\ProgramData\\desktop.ini", "");
        return disk;
    }

    // Runs a whole install or restore (or the rollback of the last install), unless the power goes at
    // operation cutAt; true when it ran to its end.
    bool runCut(int cutAt, bool restore, bool rollBack = false) {
        int operations = 0;
        fs.before = [&](std::string_view) {
            if (++operations == cutAt) {
                throw PowerCut{};
            }
        };
        try {
            const auto report = [](const RestoredFile&) {
            };
            result = rollBack  ? rollBackInstall(run.window, run.services, report)
                     : restore ? runRestore(run.window, run.services, report)
                               : runInstall(run.window, run.services);
        } catch (const PowerCut&) {
            fs.before = nullptr;
            return false;
        }
        fs.before = nullptr;
        run.launcher.endAll();
        return true;
    }

    PowerCutFileSystem fs;
    // The last run's, where it ran to its end.
    RunResult result = RunResult::Failed;
    test::WithoutHardLinks linkless;
    test::Workstation run;
};

// The workstation's own files: what the record, a script and a temporary file are left out of.
std::map<std::string, std::string> workstationFiles(const PowerCutFileSystem& fs) {
    std::map<std::string, std::string> out = fs.files();
    std::erase_if(out, [](const auto& entry) {
        const std::string& path = entry.first;
        return path.starts_with(kRecords) || path.ends_with(".bat") ||
               path.find("~hotfix,") != std::string::npos;
    });
    return out;
}

// What a power cut broke of the promise that every file is whole, its original or its new version, and
// that every backup holds its file's original: empty when it kept it.
std::vector<std::string> brokenWholeness(const std::map<std::string, std::string>& before,
                                         const std::map<std::string, std::string>& now) {
    std::vector<std::string> broken;
    std::map<std::string, std::string> listed;
    for (const Item& item : kItems) {
        listed[destinationOf(item)] = newContent(item);
    }
    for (const auto& [path, content] : now) {
        const auto was = before.find(path);
        const auto fresh = listed.find(path);
        if (fresh != listed.end()) {
            if (content != fresh->second && (was == before.end() || content != was->second)) {
                broken.push_back(path + " holds '" + content + "'");
            }
            continue;
        }
        if (was != before.end()) {
            if (content != was->second) {
                broken.push_back(path + " holds '" + content + "'");
            }
            continue;
        }
        // A backup: a listed destination's name with a suffix, holding what that file held before (or, for
        // a file listed twice, what its first listing put there).
        const std::string& name = path;
        const auto backedUp = std::find_if(listed.begin(), listed.end(), [&](const auto& entry) {
            return name.starts_with(entry.first) && before.contains(entry.first);
        });
        if (backedUp == listed.end() ||
            (before.at(backedUp->first) != content && backedUp->second != content)) {
            broken.push_back("new " + path + " holds '" + content + "'");
        }
    }
    for (const auto& [path, content] : before) {
        if (!now.contains(path)) {
            broken.push_back(path + " is gone");
        }
    }
    return broken;
}

struct Sweep {
    std::string_view name;
    bool hardLinks;
    // The power goes during the restore of a whole install instead of during the install.
    bool duringRestore;
    // ... or during its rollback, which, once it has said so, must have put every file back for good.
    bool rollBack = false;
};

void PrintTo(const Sweep& sweep, std::ostream* out) {
    *out << sweep.name;
}

class PowerCutSweep : public ::testing::TestWithParam<Sweep> {};

// At every operation of an install (or a restore), the power goes; what the disk kept is checked, with and
// without the names a journal may write ahead of their data, and a restore then gives the workstation back.
TEST_P(PowerCutSweep, everyFileIsWholeAtEveryCutAndARestoreGivesTheWorkstationBack) {
    const Sweep& sweep = GetParam();
    const PowerCutFileSystem fresh = Workstation::fresh();
    const std::map<std::string, std::string> before = workstationFiles(fresh);
    int cuts = 0;
    for (int k = 1;; ++k) {
        bool ranWhole = false;
        for (const Survival survival : {Survival::DurableOnly, Survival::NamesAhead}) {
            Workstation ws(fresh, sweep.hardLinks);
            if (sweep.duringRestore) {
                ASSERT_TRUE(ws.runCut(0, false));
            }
            ranWhole = ws.runCut(k, sweep.duringRestore, sweep.rollBack);
            const bool applied = !ws.run.boxes.shown.empty() &&
                                 ws.run.boxes.shown.back().prompt == "Sucessfully Applied the HotFix";
            Workstation crashed(ws.fs.afterPowerCut(survival), sweep.hardLinks);
            const auto kept = workstationFiles(crashed.fs);
            const std::string where = std::string(sweep.name) + ", power cut before operation " +
                                      std::to_string(k) +
                                      (survival == Survival::NamesAhead ? ", names ahead" : "");
            EXPECT_THAT(brokenWholeness(before, kept), ::testing::IsEmpty()) << where;
            if (ranWhole && applied && !sweep.duringRestore) {
                // Success is told only once the new files' names are on the disk.
                for (const Item& item : kItems) {
                    const auto found = kept.find(destinationOf(item));
                    if (item.folder != "extras\\") {
                        EXPECT_TRUE(found != kept.end() && found->second == newContent(item))
                            << where << ": " << destinationOf(item);
                    }
                }
            }
            if (ranWhole && sweep.rollBack) {
                EXPECT_EQ(workstationFiles(crashed.fs), before) << where;
            }
            ASSERT_TRUE(crashed.runCut(0, true)) << where;
            EXPECT_EQ(crashed.result, RunResult::Succeeded) << where;
            EXPECT_EQ(workstationFiles(crashed.fs), before) << where;
            const auto leftovers = crashed.fs.files();
            EXPECT_TRUE(std::none_of(leftovers.begin(), leftovers.end(), [](const auto& entry) {
                return entry.first.find("~hotfix,") != std::string::npos;
            })) << where;
            // Whatever the cut left of the record, the workstation takes the hot fix again, and gives it
            // back again.
            ASSERT_TRUE(crashed.runCut(0, false)) << where;
            EXPECT_EQ(crashed.result, RunResult::Succeeded) << where;
            ASSERT_TRUE(crashed.runCut(0, true)) << where;
            EXPECT_EQ(crashed.result, RunResult::Succeeded) << where;
            EXPECT_EQ(workstationFiles(crashed.fs), before) << where;
        }
        ++cuts;
        if (ranWhole) {
            break;
        }
    }
    std::printf("%s: %d power cuts, each kept two ways, then restored\n", std::string(sweep.name).c_str(),
                cuts);
    EXPECT_GT(cuts, 50);
}

const Sweep kSweeps[] = {
    {"install", true, false},       {"installWithoutHardLinks", false, false},
    {"restore", true, true},        {"restoreWithoutHardLinks", false, true},
    {"rollBack", true, true, true},
};

std::string sweepName(const ::testing::TestParamInfo<Sweep>& info) {
    return std::string(info.param.name);
}

INSTANTIATE_TEST_SUITE_P(Sweeps, PowerCutSweep, ::testing::ValuesIn(kSweeps), sweepName);

} // namespace
} // namespace hotfix
