// A run as root where an ordinary account may write below a root: that account plants links at every listed
// folder, file and backup name and at the records' folder, and swaps them in and out from a process of its
// own for the whole of each install and restore. Whatever the runs end with, nothing outside the hot fix's
// own files changes, and no script registers a library the package does not list.
#include "cli/headless_fixture.hpp"
#include "support/hooked_file_system.hpp"

#include <array>
#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hotfix::cli {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kOrdinaryAccount = 65534;

// Swaps each name with a link to its target and back, as fast as it can, from a process of another account,
// until it is stopped. Where the name is missing, the link is planted there for a moment.
class Adversary {
public:
    struct Swap {
        std::string name;
        std::string decoy;
        std::string target;
    };

    explicit Adversary(std::vector<Swap> swaps)
        : m_swaps(std::move(swaps)) {
        // Everything the child needs is made before the fork: it only makes system calls.
        m_pid = ::fork();
        if (m_pid == 0) {
            if (::setresgid(kOrdinaryAccount, kOrdinaryAccount, kOrdinaryAccount) != 0 ||
                ::setresuid(kOrdinaryAccount, kOrdinaryAccount, kOrdinaryAccount) != 0) {
                ::_exit(3);
            }
            for (;;) {
                for (const Swap& swap : m_swaps) {
                    attack(swap);
                }
            }
        }
    }
    Adversary(const Adversary&) = delete;
    Adversary& operator=(const Adversary&) = delete;
    ~Adversary() { stop(); }

    bool running() const { return m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; }

    // The checks walk the folders it swaps: they must not race it themselves.
    void stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    static void attack(const Swap& swap) {
        ::unlink(swap.decoy.c_str());
        if (::symlink(swap.target.c_str(), swap.decoy.c_str()) != 0) {
            return;
        }
        const bool exchanged =
            ::renameat2(AT_FDCWD, swap.decoy.c_str(), AT_FDCWD, swap.name.c_str(), RENAME_EXCHANGE) == 0;
        if (!exchanged &&
            ::renameat2(AT_FDCWD, swap.decoy.c_str(), AT_FDCWD, swap.name.c_str(), RENAME_NOREPLACE) != 0) {
            return;
        }
        // A moment with the link in place: long enough for a run's call to meet it.
        ::sched_yield();
        // The real entry back; a planted link goes again.
        if (exchanged) {
            ::renameat2(AT_FDCWD, swap.decoy.c_str(), AT_FDCWD, swap.name.c_str(), RENAME_EXCHANGE);
        } else {
            ::renameat2(AT_FDCWD, swap.name.c_str(), AT_FDCWD, swap.decoy.c_str(), RENAME_NOREPLACE);
        }
    }

    std::vector<Swap> m_swaps;
    pid_t m_pid = -1;
};

// Every entry below a folder as the disk holds it, links not followed: kind, mode, owner, size and bytes.
std::map<std::string, std::string> stateBelow(const fs::path& folder) {
    std::map<std::string, std::string> state;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        struct stat st {};
        ::lstat(entry.path().c_str(), &st);
        std::string text = std::to_string(st.st_mode) + " " + std::to_string(st.st_uid) + ":" +
                           std::to_string(st.st_gid) + " " + std::to_string(st.st_size);
        if (S_ISREG(st.st_mode)) {
            text += " " + test::readFile(entry.path());
        }
        state[fs::relative(entry.path(), folder).string()] = text;
    }
    return state;
}

class HostileMachine : public ::testing::Test, public test::HeadlessMachine {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "acting as another account needs root, as CI runs";
        }
        package.write("Setup/InstallPatch.BLR", "bin\\core.dll, bin\\viewer.dll, bin\\plugins\\plug.dll\r\n");
        package.write("Setup/Vtrl/bin/plugins/plug.dll", "plug 2");
        machine.write("Vantrel/bin/plugins/plug.dll", "plug 1");
        // What only root may change, which the account's links lead to.
        machine.write("secret/victim.dll", "victim");
        machine.write("secret/tool", "a program");
        fs::create_directories(machine.path() / "secret/dir");
        fs::create_directories(machine.path() / "secret/records");
        fs::permissions(machine.path() / "secret/victim.dll", fs::perms::owner_read | fs::perms::owner_write);
        fs::permissions(machine.path() / "secret/tool", fs::perms::owner_all | fs::perms::group_exec |
                                                            fs::perms::others_exec | fs::perms::others_read);
        fs::permissions(machine.path() / "secret", fs::perms::owner_all | fs::perms::others_exec);
        // The roots and the records' data folder are root's; the account may write the listed folders and
        // the folder the records' folder stands in.
        fs::create_directories(data.path() / "ProgramData");
        recordFolder = (data.path() / "ProgramData/HotFix Installer").string();
        for (const fs::path& open : {machine.path() / "Vantrel/bin", machine.path() / "Vantrel/bin/plugins",
                                     data.path() / "ProgramData"}) {
            ASSERT_EQ(::chown(open.c_str(), kOrdinaryAccount, kOrdinaryAccount), 0);
        }
        fs::permissions(machine.path(), fs::perms::owner_all | fs::perms::others_exec);
        fs::permissions(data.path(), fs::perms::owner_all | fs::perms::others_exec);
        secretBefore = stateBelow(machine.path() / "secret");
    }

    Adversary::Swap swap(const fs::path& name, const std::string& target) const {
        return {name.string(), (name.parent_path() / ("decoy " + name.filename().string())).string(),
                (machine.path() / target).string()};
    }

    // Each (folder, library) a script changes to and registers.
    std::vector<std::pair<std::string, std::string>> registered() const {
        std::vector<std::pair<std::string, std::string>> libraries;
        for (const std::string& script : instant.scripts) {
            std::istringstream lines(script);
            std::string folder;
            for (std::string line; std::getline(lines, line);) {
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                if (line.starts_with("cd ")) {
                    folder = line.substr(3);
                } else if (line.starts_with("regsvr32")) {
                    libraries.emplace_back(folder, line.substr(line.rfind(' ') + 1));
                }
            }
        }
        return libraries;
    }

    // Nothing a link led to was read into a file of the run's: no file of the roots or the records holds the
    // secret's bytes.
    void expectNothingRead() const {
        for (const fs::path& folder : {machine.path() / "Vantrel", data.path()}) {
            for (const auto& entry : fs::recursive_directory_iterator(folder)) {
                if (entry.is_regular_file() && !entry.is_symlink()) {
                    const std::string content = test::readFile(entry.path());
                    EXPECT_TRUE(content != "victim" && content != "a program") << entry.path();
                }
            }
        }
    }

    std::map<std::string, std::string> secretBefore;
};

TEST_F(HostileMachine, linksSwappedInThroughoutInstallsAndRestoresNeverLeadARunOutside) {
    const fs::path bin = machine.path() / "Vantrel/bin";
    Adversary adversary({swap(bin / "core.dll", "secret/victim.dll"),
                         swap(bin / "core.dll_backup", "secret/victim.dll"),
                         swap(bin / "viewer.dll", "secret/tool"), swap(bin / "plugins", "secret/dir"),
                         swap(bin / "plugins/plug.dll_backup", "secret/tool"),
                         swap(data.path() / "ProgramData/HotFix Installer", "secret/records")});
    int finished = 0;
    for (int round = 0; round < 25; ++round) {
        finished += run({"--install", "--register-dlls"}) == kSuccess ? 1 : 0;
        run({"--restore"});
    }
    ASSERT_TRUE(adversary.running()) << "the account's process must attack the whole time";
    adversary.stop();

    EXPECT_EQ(stateBelow(machine.path() / "secret"), secretBefore);
    expectNothingRead();
    const std::string listedFolder = root("Vantrel") + "\\bin\\";
    for (const auto& [folder, library] : registered()) {
        EXPECT_TRUE((folder == listedFolder && (library == "core.dll" || library == "viewer.dll")) ||
                    (folder == listedFolder + "plugins\\" && library == "plug.dll") ||
                    (folder == root("WINNT") + "\\system32\\" && library == "hook.dll"))
            << folder << library;
    }
    RecordProperty("installs that went through", finished);
}

// Links standing still at every name a run acts on: each such file fails alone, said, and nothing a link
// leads to is read, written or given other marks.
TEST_F(HostileMachine, plantedLinksFailTheirFilesAloneAndAreNeverFollowed) {
    const fs::path bin = machine.path() / "Vantrel/bin";
    fs::remove(bin / "core.dll");
    fs::create_symlink(machine.path() / "secret/victim.dll", bin / "core.dll");
    fs::create_symlink(machine.path() / "secret/tool", bin / "viewer.dll");
    fs::remove_all(bin / "plugins");
    fs::create_directory_symlink(machine.path() / "secret/dir", bin / "plugins");

    EXPECT_EQ(run({"--install"}), kFailure);
    EXPECT_EQ(stateBelow(machine.path() / "secret"), secretBefore);
    run({"--restore"});
    EXPECT_EQ(stateBelow(machine.path() / "secret"), secretBefore);
    expectNothingRead();
}

// A run cut off after it noted a file's marks and before it changed the file: the restore puts those marks
// back, on the file itself, never on one a link planted at its name since leads to.
TEST_F(HostileMachine, marksPutBackNeverReachThroughALink) {
    test::HookedFileSystem dying(*files);
    dying.before = [](std::string_view op, std::string_view) {
        if (op == "linkFile") {
            throw test::Crash{};
        }
    };
    EXPECT_THROW(run({"--install"}, &dying), test::Crash);
    startProcess();
    const fs::path core = machine.path() / "Vantrel/bin/core.dll";
    fs::remove(core);
    fs::create_symlink(machine.path() / "secret/victim.dll", core);

    run({"--restore"});
    EXPECT_EQ(stateBelow(machine.path() / "secret"), secretBefore);
}

// The backup is checked and then renamed: a file swapped in under its name between the two is taken out of
// the file's place again, and the restore fails rather than putting unchecked bytes there.
TEST_F(HostileMachine, aBackupSwappedBetweenItsCheckAndItsRenameIsNeverPutInPlace) {
    ASSERT_EQ(run({"--install"}), kSuccess) << err.str();
    const fs::path backup = machine.path() / "Vantrel/bin/core.dll_backup";
    test::HookedFileSystem racing(*files);
    racing.before = [&](std::string_view op, std::string_view path) {
        if (op == "moveFileOver" && path.ends_with("core.dll_backup")) {
            machine.write("Vantrel/bin/evil", "evil");
            fs::rename(machine.path() / "Vantrel/bin/evil", backup);
        }
    };

    EXPECT_EQ(run({"--restore"}, &racing), kFailure);
    EXPECT_FALSE(machine.exists("Vantrel/bin/core.dll") && machine.read("Vantrel/bin/core.dll") == "evil");
    EXPECT_EQ(test::readFile(backup), "evil");
}

} // namespace
} // namespace hotfix::cli
