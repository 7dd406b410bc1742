// The order of the POSIX backend's real system calls in an install and a restore, as strace sees them: no
// listed file is renamed over before the disk holds the new content, every backup name and the record, and
// the run ends only once the renames themselves are on the disk.
#include "support/temp_dir.hpp"

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hotfix {
namespace {

namespace fs = std::filesystem;

std::string folderOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

// What is not yet on the disk while the traced program runs, and what it did too early.
class FlushOrderChecker {
public:
    explicit FlushOrderChecker(std::set<std::string> listed)
        : m_listed(std::move(listed)) {}

    void take(const std::string& line) {
        static const std::regex call(R"(^(\w+)\((.*)\)\s+=\s+(-?\d+)(<([^>]*)>)?)");
        std::smatch match;
        if (!std::regex_search(line, match, call) || std::stol(match[3]) < 0) {
            return;
        }
        const std::string name = match[1];
        const std::string arguments = match[2];
        const std::vector<std::string> paths = pathsIn(arguments);
        const std::vector<std::string> fds = fdPathsIn(arguments);
        if (name == "openat" && arguments.find("O_CREAT") != std::string::npos && !paths.empty()) {
            m_pendingNames.insert(paths[0]);
            if (paths[0].ends_with("/record.txt")) {
                // Every folder on the record's way below the machine's data folder was made for it.
                for (std::string folder = folderOf(paths[0]);
                     folder.find("/ProgramData/") != std::string::npos; folder = folderOf(folder)) {
                    m_recordFolders.insert(folder);
                }
            }
        } else if ((name == "write" || name == "pwrite64" || name == "ftruncate") && !fds.empty()) {
            m_dirty.insert(fds[0]);
        } else if (name == "copy_file_range" && fds.size() >= 2) {
            m_dirty.insert(fds[1]);
        } else if (name == "fdatasync" && !fds.empty()) {
            m_dirty.erase(fds[0]);
        } else if (name == "fsync" && !fds.empty()) {
            m_dirty.erase(fds[0]);
            std::erase_if(m_pendingNames, [&](const std::string& each) { return folderOf(each) == fds[0]; });
        } else if (name == "syncfs") {
            m_dirty.clear();
            m_pendingNames.clear();
        } else if ((name == "link" || name == "linkat") && paths.size() >= 2) {
            m_pendingNames.insert(paths[1]);
            m_backups.insert(paths[1]);
        } else if ((name == "mkdir" || name == "mkdirat") && !paths.empty()) {
            m_pendingNames.insert(paths[0]);
        } else if ((name == "unlink" || name == "unlinkat") && !paths.empty()) {
            m_pendingNames.insert(paths[0]);
        } else if ((name == "rename" || name == "renameat" || name == "renameat2") && paths.size() >= 2) {
            renamed(paths[0], paths[1]);
        }
    }

    // What the run left off the disk at its end.
    std::vector<std::string> atEnd() {
        for (const std::string& name : m_pendingNames) {
            if (m_listed.contains(name) || name.ends_with("/record.txt")) {
                m_faults.push_back("the run ended before " + name + "'s name was on the disk");
            }
        }
        for (const std::string& dirty : m_dirty) {
            if (m_listed.contains(dirty) || dirty.ends_with("/record.txt")) {
                m_faults.push_back("the run ended before " + dirty + "'s content was on the disk");
            }
        }
        return m_faults;
    }

    int renamesOverListed() const { return m_renamesOverListed; }

private:
    // Each name a call takes, as a whole path: a name given relative to a folder's descriptor
    // (openat(3</dir>, "name")) is joined to the folder strace shows for it.
    static std::vector<std::string> pathsIn(const std::string& arguments) {
        std::vector<std::string> out;
        static const std::regex quoted(R"re((^|, )(\d+<([^>]*)>, )?"([^"]*)")re");
        for (auto it = std::sregex_iterator(arguments.begin(), arguments.end(), quoted);
             it != std::sregex_iterator(); ++it) {
            const std::string folder = (*it)[3];
            const std::string name = (*it)[4];
            out.push_back(folder.empty() || name.starts_with('/') ? name : folder + "/" + name);
        }
        return out;
    }

    static std::vector<std::string> fdPathsIn(const std::string& arguments) {
        std::vector<std::string> out;
        static const std::regex descriptor(R"(\d+<([^>]*)>)");
        for (auto it = std::sregex_iterator(arguments.begin(), arguments.end(), descriptor);
             it != std::sregex_iterator(); ++it) {
            out.push_back((*it)[1]);
        }
        return out;
    }

    void renamed(const std::string& from, const std::string& to) {
        if (m_listed.contains(to)) {
            ++m_renamesOverListed;
            const std::string step = "renaming " + from + " over " + to;
            if (m_dirty.contains(from)) {
                m_faults.push_back(step + " before its content was on the disk");
            }
            for (const std::string& backup : m_backups) {
                if (m_pendingNames.contains(backup)) {
                    m_faults.push_back(step + " before the backup name " + backup + " was on the disk");
                }
            }
            for (const std::string& name : m_pendingNames) {
                if (name.ends_with("/record.txt") || m_recordFolders.contains(name)) {
                    m_faults.push_back(
                        step + " before the record's name, or a folder's on its way, was on the disk");
                }
            }
            for (const std::string& dirty : m_dirty) {
                if (dirty.ends_with("/record.txt")) {
                    m_faults.push_back(step + " before the record's lines were on the disk");
                }
            }
        }
        if (m_dirty.erase(from) > 0) {
            m_dirty.insert(to);
        }
        m_pendingNames.insert(from);
        m_pendingNames.insert(to);
    }

    std::set<std::string> m_listed;
    std::set<std::string> m_dirty;
    std::set<std::string> m_pendingNames;
    std::set<std::string> m_backups;
    std::set<std::string> m_recordFolders;
    std::vector<std::string> m_faults;
    int m_renamesOverListed = 0;
};

class FlushOrder : public ::testing::TestWithParam<const char*> {
protected:
    FlushOrder() {
        package.write("Setup/InstallPatch.BLR", "bin\\core.dll, bin\\viewer.dll, \\suite.ini\r\n");
        package.write("Setup/InstallWinPatch.BLR", "system32\\hook.dll\r\n");
        package.write("Setup/Vtrl/bin/core.dll", "core 2");
        package.write("Setup/Vtrl/bin/viewer.dll", "viewer 2");
        package.write("Setup/Vtrl/suite.ini", "suite 2");
        package.write("Setup/Othr/system32/hook.dll", "hook 2");
        machine.write("Vantrel/bin/core.dll", "core 1");
        machine.write("Vantrel/suite.ini", "suite 1");
        machine.write("WINNT/system32/hook.dll", "hook 1");
        fs::create_directories(machine.path() / "ProgramData");
    }

    // Runs the probe under strace and checks the order of its calls; the number of renames over listed
    // files it saw.
    int traced(const std::string& mode) {
        const fs::path trace = machine.path() / ("trace-" + mode + ".txt");
        // LeakSanitizer cannot work under ptrace.
        const std::string command =
            "ASAN_OPTIONS=detect_leaks=0 strace -qq -y -o '" + trace.string() +
            "' -e trace=openat,write,pwrite64,copy_file_range,ftruncate,fsync,fdatasync,syncfs,link,linkat,"
            "rename,renameat,renameat2,unlink,unlinkat,mkdir,mkdirat '" HOTFIX_FLUSH_PROBE "' " +
            mode + " " + GetParam() + " '" + package.str() + "' '" + root("Vantrel") + "' '" + root("WINNT") +
            "' '" + root("ProgramData") + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        FlushOrderChecker checker({root("Vantrel") + "/bin/core.dll", root("Vantrel") + "/bin/viewer.dll",
                                   root("Vantrel") + "/suite.ini", root("WINNT") + "/system32/hook.dll"});
        std::ifstream in(trace);
        for (std::string line; std::getline(in, line);) {
            checker.take(line);
        }
        EXPECT_THAT(checker.atEnd(), ::testing::IsEmpty()) << mode << ", " << GetParam();
        return checker.renamesOverListed();
    }

    std::string root(std::string_view name) const { return (machine.path() / name).string(); }

    test::TempDir package;
    test::TempDir machine;
};

TEST_P(FlushOrder, nothingIsRenamedOverAListedFileBeforeWhatItNeedsIsOnTheDisk) {
    if (std::system("strace -V > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "strace is not installed (scripts/ensure-packages.sh test installs it)";
    }
    EXPECT_EQ(traced("install"), 4);
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 2");
    EXPECT_EQ(traced("restore"), 3);
    EXPECT_EQ(machine.read("Vantrel/bin/core.dll"), "core 1");
    EXPECT_FALSE(machine.exists("Vantrel/bin/viewer.dll"));
}

INSTANTIATE_TEST_SUITE_P(Policies, FlushOrder, ::testing::Values("fs", "each"));

} // namespace
} // namespace hotfix
