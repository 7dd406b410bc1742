#include "platform/platform_services.hpp"
#include "support/temp_dir.hpp"

#include <filesystem>

#include <gtest/gtest.h>

// What an install record is written and read back with, on this platform's own backend: the Windows one runs
// this under Wine in the cross build.
namespace hotfix {
namespace {

namespace fs = std::filesystem;

class RecordSteps : public ::testing::Test {
protected:
    // Windows-style spelling of a path below the temporary folder, with a doubled separator in the middle.
    std::string at(std::string_view relative) const { return dir.str() + "\\\\" + std::string(relative); }

    test::TempDir dir;
    std::unique_ptr<FileSystem> files = makeFileSystem();
};

// Bytes of every value, in an order that no piece boundary repeats.
std::string varied(std::size_t size) {
    std::string out(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = static_cast<char>((i * 131 + i / 251) % 256);
    }
    return out;
}

TEST_F(RecordSteps, readFileHandsOverExactlyTheBytesOfTheFile) {
    const std::string content = varied(std::size_t{3} * 1024 * 1024 + 17);
    dir.write("big.bin", content);
    EXPECT_EQ(readWholeFile(*files, at("BIG.bin")), content);
    dir.write("empty.bin", "");
    EXPECT_EQ(readWholeFile(*files, at("empty.bin")), "");

    fs::create_directories(dir.path() / "folder");
    EXPECT_EQ(readWholeFile(*files, at("folder")), std::nullopt);
    EXPECT_EQ(readWholeFile(*files, at("missing.bin")), std::nullopt);
}

TEST_F(RecordSteps, appendDurablyMakesTheFileAndAddsToItsEnd) {
    const std::string record = at("record.log");
    ASSERT_TRUE(files->appendDurably(record, "first\n"));
    ASSERT_TRUE(files->appendDurably(at("RECORD.LOG"), std::string("se\0cond\n", 8)));
    ASSERT_TRUE(files->appendDurably(record, ""));
    EXPECT_EQ(dir.read("record.log"), std::string("first\nse\0cond\n", 14));

    EXPECT_FALSE(files->appendDurably(at("missing\\\\record.log"), "x"));
    EXPECT_FALSE(dir.exists("missing"));
    fs::create_directories(dir.path() / "folder");
    EXPECT_FALSE(files->appendDurably(at("folder"), "x"));
    // Read-only, as Windows refuses to append to it.
    fs::permissions(dir.path() / "record.log", fs::perms::owner_read);
    EXPECT_FALSE(files->appendDurably(record, "x"));
    EXPECT_EQ(dir.read("record.log"), std::string("first\nse\0cond\n", 14));
}

TEST_F(RecordSteps, createFoldersMakesEveryMissingLevelButPassesNoFile) {
    EXPECT_TRUE(files->createFolders(at("a\\\\b/c\\\\")));
    EXPECT_TRUE(fs::is_directory(dir.path() / "a/b/c"));
    // There already, under any case.
    EXPECT_TRUE(files->createFolders(at("A\\B")));
    EXPECT_TRUE(files->createFolders(at("A\\B\\d")));
    EXPECT_TRUE(fs::is_directory(dir.path() / "a/b/d"));

    dir.write("a/file.txt", "in the way");
    EXPECT_FALSE(files->createFolders(at("a\\file.txt")));
    EXPECT_FALSE(files->createFolders(at("a\\file.txt\\sub")));
    EXPECT_EQ(dir.read("a/file.txt"), "in the way");
}

// Only a file's last line can be cut off: the next append drops what a cut-off one left after the last line
// break, and a file that a link stands for is never appended to through the link.
TEST_F(RecordSteps, anAppendDropsWhatACutOffAppendLeftAndOnlyThat) {
    dir.write("record.txt", "whole line\ncut off li");
    ASSERT_TRUE(files->appendDurably(at("record.txt"), "next line\n"));
    EXPECT_EQ(dir.read("record.txt"), "whole line\nnext line\n");
    dir.write("cut.txt", "no line break at all");
    ASSERT_TRUE(files->appendDurably(at("cut.txt"), "first\n"));
    EXPECT_EQ(dir.read("cut.txt"), "first\n");
}

} // namespace
} // namespace hotfix
