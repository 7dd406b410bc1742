#include "engine/install_run.hpp"
#include "platform/posix/posix_file_system.hpp"
#include "support/code_pages.hpp"
#include "support/fake_installer_window.hpp"
#include "support/fake_launcher.hpp"
#include "support/recording_msg_box.hpp"
#include "support/temp_dir.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

// A file system that really runs out of space partway through a write: what the kernel leaves behind, not
// what a fake thinks it would.
namespace hotfix::posix {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

constexpr std::size_t kKiB = 1024;

class SmallDisk : public ::testing::Test {
protected:
    void SetUp() override {
        mountPoint = holder.path() / "disk";
        fs::create_directories(mountPoint);
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m,mode=0755") != 0) {
            GTEST_SKIP() << "a 1 MiB tmpfs cannot be mounted here (" << std::strerror(errno)
                         << "); this test needs root, as CI has";
        }
        mounted = true;
    }
    void TearDown() override {
        if (mounted) {
            ::umount2(mountPoint.c_str(), MNT_DETACH);
        }
    }

    // Fills the disk until only `left` bytes are free.
    void leaveFree(std::size_t left) const {
        struct statvfs st {};
        ASSERT_EQ(::statvfs(mountPoint.c_str(), &st), 0);
        const std::size_t free = static_cast<std::size_t>(st.f_bavail) * st.f_bsize;
        ASSERT_GT(free, left);
        test::writeFile(mountPoint / "filler", std::string(free - left, 'f'));
    }

    // Every file but the filler, by path, as "<size> x <byte>" (the test's contents repeat one byte).
    std::map<std::string, std::string> filesOnDisk() const {
        std::map<std::string, std::string> out;
        for (const auto& entry : fs::recursive_directory_iterator(mountPoint)) {
            if (entry.is_regular_file() && entry.path().filename() != "filler") {
                out[fs::relative(entry.path(), mountPoint).generic_string()] =
                    described(test::readFile(entry.path()));
            }
        }
        return out;
    }

    static std::string described(const std::string& content) {
        if (content.find_first_not_of(content.substr(0, 1)) != std::string::npos) {
            return "mixed " + std::to_string(content.size());
        }
        return std::to_string(content.size()) + " x " + content.substr(0, 1);
    }

    test::TempDir holder;
    test::TempDir package;
    fs::path mountPoint;
    bool mounted = false;
    PosixFileSystem files;
};

TEST_F(SmallDisk, copiesThatDoNotFitLeaveTheTargetWholeAndNothingElse) {
    const std::string old(64 * kKiB, 'o');
    test::writeFile(mountPoint / "a.dll", old);
    const std::string big(400 * kKiB, 'n');
    const auto source = package.write("new.dll", big);
    leaveFree(100 * kKiB);

    EXPECT_FALSE(files.copyFileToNew(source.string(), (mountPoint / "b.dll").string()));
    EXPECT_EQ(filesOnDisk(), (std::map<std::string, std::string>{{"a.dll", described(old)}}));
}

TEST_F(SmallDisk, anAppendThatDoesNotFitFailsAndLeavesWhatWasThere) {
    const std::string record = (mountPoint / "record.log").string();
    ASSERT_TRUE(files.appendDurably(record, std::string(8 * kKiB, 'r')));
    leaveFree(64 * kKiB);

    EXPECT_FALSE(files.appendDurably(record, std::string(256 * kKiB, 'r')));
    // The earlier records are whole; the cut-off tail, if any, is the reader's to drop.
    const std::string kept = test::readFile(mountPoint / "record.log");
    EXPECT_GE(kept.size(), 8 * kKiB);
    EXPECT_LT(kept.size(), (8 + 256) * kKiB);
    EXPECT_EQ(described(kept), std::to_string(kept.size()) + " x r");
}

TEST_F(SmallDisk, installThatRunsOutOfSpaceKeepsEveryFileWholeAndSaysSo) {
    const std::map<std::string, std::string> installed = {
        {"Vantrel/bin/a.dll", std::string(16 * kKiB, 'a')},
        {"Vantrel/bin/b.dll", std::string(16 * kKiB, 'b')},
        {"Vantrel/bin/c.dll", std::string(16 * kKiB, 'c')},
    };
    for (const auto& [path, content] : installed) {
        fs::create_directories((mountPoint / path).parent_path());
        test::writeFile(mountPoint / path, content);
    }
    const std::map<std::string, std::string> fresh = {
        {"a.dll", std::string(24 * kKiB, 'A')},
        {"b.dll", std::string(600 * kKiB, 'B')}, // does not fit
        {"c.dll", std::string(24 * kKiB, 'C')},
    };
    test::FakeInstallerWindow window;
    window.TxtPath = (mountPoint / "Vantrel").string();
    window.TxtWinPath = (mountPoint / "WINNT").string();
    for (const auto& [name, content] : fresh) {
        package.write("Setup/Vtrl/bin/" + name, content);
        window.addListItem(Side::Product, name, "bin\\");
    }
    leaveFree(200 * kKiB);

    test::RecordingMsgBox boxes;
    test::FakeLauncher launcher;
    runInstall(window, {package.str(), files, boxes, launcher, test::machineCodePages()});
    launcher.endAll();

    const std::string b = window.TxtPath + "\\bin\\b.dll";
    EXPECT_THAT(boxes.prompts(), ElementsAre(" File ''" + b + "'' could not be replaced from ''" +
                                                 package.str() + "\\Setup\\Vtrl\\bin\\b.dll''",
                                             " HotFix Failed, Please try again  "));
    // a and c replaced with their backups beside them, b whole as it was, and nothing half-written.
    EXPECT_EQ(filesOnDisk(), (std::map<std::string, std::string>{
                                 {"Vantrel/bin/a.dll", described(fresh.at("a.dll"))},
                                 {"Vantrel/bin/a.dll_backup", described(installed.at("Vantrel/bin/a.dll"))},
                                 {"Vantrel/bin/b.dll", described(installed.at("Vantrel/bin/b.dll"))},
                                 {"Vantrel/bin/c.dll", described(fresh.at("c.dll"))},
                                 {"Vantrel/bin/c.dll_backup", described(installed.at("Vantrel/bin/c.dll"))},
                             }));
    EXPECT_FALSE(fs::equivalent(mountPoint / "Vantrel/bin/a.dll", mountPoint / "Vantrel/bin/a.dll_backup"));
}

} // namespace
} // namespace hotfix::posix
