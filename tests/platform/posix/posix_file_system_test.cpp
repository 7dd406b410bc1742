#include "platform/posix/posix_file_system.hpp"
#include "support/temp_dir.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace hotfix {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Windows-style spelling of a path below the temporary folder, with a doubled separator in the middle.
std::string winPath(const TempDir& dir, std::string_view relative) {
    return dir.str() + "\\\\" + std::string(relative);
}

TEST(PosixPaths, backslashesAndRunsOfSeparatorsAreOneSeparator) {
    EXPECT_EQ(toPosixPath("/opt/root\\\\bin\\a.dll"), "/opt/root/bin/a.dll");
    EXPECT_EQ(toPosixPath("/opt//root\\/bin"), "/opt/root/bin");
    EXPECT_EQ(toPosixPath("/opt/root\\"), "/opt/root/");
}

class PosixFileSystemTest : public ::testing::Test {
protected:
    TempDir dir;
    PosixFileSystem files;
};

TEST_F(PosixFileSystemTest, existenceTellsFilesFromFolders) {
    dir.write("bin/a.dll", "a");
    EXPECT_TRUE(files.fileExists(winPath(dir, "bin\\\\a.dll")));
    EXPECT_FALSE(files.folderExists(winPath(dir, "bin\\a.dll")));
    EXPECT_TRUE(files.folderExists(winPath(dir, "bin\\")));
    EXPECT_FALSE(files.fileExists(winPath(dir, "bin")));
    EXPECT_FALSE(files.fileExists(winPath(dir, "bin\\b.dll")));
}

TEST_F(PosixFileSystemTest, copyOverwritesAndCarriesTheSourcesMarks) {
    dir.write("new/a.dll", "new content");
    dir.write("old/a.dll", "old content that is longer");
    ASSERT_TRUE(files.copyFile(winPath(dir, "new\\a.dll"), winPath(dir, "old\\a.dll")));
    EXPECT_EQ(dir.read("old/a.dll"), "new content");

    fs::permissions(dir.path() / "new/a.dll", fs::perms::owner_read | fs::perms::group_read);
    ASSERT_TRUE(files.copyFile(winPath(dir, "new\\a.dll"), winPath(dir, "old\\b.dll")));
    EXPECT_EQ(fs::status(dir.path() / "old/b.dll").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read);
}

TEST_F(PosixFileSystemTest, readOnlyFileIsNeitherOverwrittenNorDeletedUntilCleared) {
    dir.write("a.dll", "installed");
    dir.write("b.dll", "package");
    const std::string installed = winPath(dir, "a.dll");
    fs::permissions(dir.path() / "a.dll", fs::perms::owner_read);
    const auto before = files.attributes(installed);
    ASSERT_TRUE(before.has_value());

    EXPECT_FALSE(files.copyFile(winPath(dir, "b.dll"), installed));
    EXPECT_FALSE(files.deleteFile(installed));
    EXPECT_EQ(dir.read("a.dll"), "installed");

    ASSERT_TRUE(files.clearAttributes(installed));
    EXPECT_TRUE(files.copyFile(winPath(dir, "b.dll"), installed));
    EXPECT_EQ(dir.read("a.dll"), "package");

    ASSERT_TRUE(files.setAttributes(installed, *before));
    EXPECT_EQ(files.attributes(installed), before);
}

TEST_F(PosixFileSystemTest, copyOntoItselfKeepsTheFile) {
    dir.write("a.dll", "only copy");
    EXPECT_FALSE(files.copyFile(winPath(dir, "a.dll"), dir.str() + "/a.dll"));
    EXPECT_EQ(dir.read("a.dll"), "only copy");
    fs::create_hard_link(dir.path() / "a.dll", dir.path() / "link.dll");
    EXPECT_FALSE(files.copyFile(winPath(dir, "a.dll"), winPath(dir, "link.dll")));
    EXPECT_EQ(dir.read("a.dll"), "only copy");
}

TEST_F(PosixFileSystemTest, failingCopiesReportFailure) {
    EXPECT_FALSE(files.copyFile(winPath(dir, "missing.dll"), winPath(dir, "a.dll")));
    dir.write("a.dll", "a");
    EXPECT_FALSE(files.copyFile(winPath(dir, "a.dll"), winPath(dir, "no\\such\\folder\\a.dll")));
    fs::create_directories(dir.path() / "folder");
    EXPECT_FALSE(files.copyFile(winPath(dir, "a.dll"), winPath(dir, "folder")));
    EXPECT_FALSE(files.copyFile(winPath(dir, "folder"), winPath(dir, "b.dll")));
}

TEST_F(PosixFileSystemTest, textFilesAreCreatedEmptiedAppendedAndRead) {
    const std::string script = winPath(dir, "Register.bat");
    EXPECT_FALSE(files.appendLines(script, std::vector<std::string>{"cd\\"}));
    ASSERT_TRUE(files.createTextFile(script));
    const std::vector<std::string> first{"cd\\", "C:"};
    const std::vector<std::string> second{"regsvr32 a.dll"};
    ASSERT_TRUE(files.appendLines(script, first));
    ASSERT_TRUE(files.appendLines(script, second));
    EXPECT_EQ(dir.read("Register.bat"), "cd\\\r\nC:\r\nregsvr32 a.dll\r\n");
    EXPECT_EQ(files.readTextFile(script), "cd\\\r\nC:\r\nregsvr32 a.dll\r\n");

    ASSERT_TRUE(files.createTextFile(script));
    EXPECT_EQ(dir.read("Register.bat"), "");
    EXPECT_EQ(files.readTextFile(script), "");
    EXPECT_TRUE(files.deleteFile(script));
    EXPECT_FALSE(files.fileExists(script));
    EXPECT_FALSE(files.deleteFile(script));
}

TEST_F(PosixFileSystemTest, unreadableTextGivesNothing) {
    fs::create_directories(dir.path() / "folder");
    EXPECT_FALSE(files.readTextFile(winPath(dir, "folder")).has_value());
    EXPECT_FALSE(files.readTextFile(winPath(dir, "missing.txt")).has_value());
    EXPECT_FALSE(files.createTextFile(winPath(dir, "folder")));
}

} // namespace
} // namespace hotfix
