#include "platform/platform_services.hpp"
#include "platform/temporary_name.hpp"
#include "support/forwarding_file_system.hpp"
#include "support/lending_sink.hpp"
#include "support/temp_dir.hpp"

#include <filesystem>

#include <gtest/gtest.h>

// The steps an install puts a file in place with, on this platform's own backend: the Windows one runs
// this under Wine in the cross build.
namespace hotfix {
namespace {

namespace fs = std::filesystem;
using Overwrite = FileSystem::Overwrite;

class ReplacementSteps : public ::testing::Test {
protected:
    // Windows-style spelling of a path below the temporary folder, with a doubled separator in the middle.
    std::string at(std::string_view relative) const { return dir.str() + "\\\\" + std::string(relative); }

    std::vector<std::string> namesInFolder() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir dir;
    std::unique_ptr<FileSystem> files = makeFileSystem();
    test::LendingSink ignored;
};

TEST_F(ReplacementSteps, backupNameIsTheInstalledFileUntilANewFileTakesItsPlace) {
    dir.write("a.dll", "original");
    dir.write("package.dll", "new");
    fs::permissions(dir.path() / "a.dll", fs::perms::owner_read);
    const auto marks = files->attributes(at("a.dll"));

    ASSERT_EQ(files->linkFile(at("a.dll"), at("a.dll_backup")).outcome, FileSystem::LinkOutcome::Linked);
    EXPECT_TRUE(files->sameFile(at("a.dll"), at("a.dll_backup")));
    // A link never replaces anything.
    EXPECT_EQ(files->linkFile(at("a.dll"), at("a.dll_backup")).outcome, FileSystem::LinkOutcome::Failed);
    EXPECT_EQ(files->linkFile(at("missing.dll"), at("b.dll")).outcome, FileSystem::LinkOutcome::Failed);

    const std::string temporary = temporaryNameBeside(at("a.dll"));
    ASSERT_TRUE(files->copyFileToNew(at("package.dll"), temporary));
    const std::string written[] = {temporary, at("a.dll_backup")};
    ASSERT_TRUE(files->flush(written));
    // The installed file is read-only; replacing it was decided, so the mark does not stop the rename.
    ASSERT_TRUE(files->moveFile(temporary, at("a.dll"), Overwrite::Existing));
    ASSERT_TRUE(files->setAttributes(at("a.dll_backup"), *marks));

    EXPECT_EQ(dir.read("a.dll"), "new");
    EXPECT_EQ(dir.read("a.dll_backup"), "original");
    EXPECT_FALSE(files->sameFile(at("a.dll"), at("a.dll_backup")));
    EXPECT_EQ(files->attributes(at("a.dll_backup")), marks);
    EXPECT_EQ(namesInFolder(), (std::vector<std::string>{"a.dll", "a.dll_backup", "package.dll"}));
}

TEST_F(ReplacementSteps, moveToANewNameNeverReplacesAndAMoveOverNeverTakesAFolder) {
    dir.write("t1", "first");
    dir.write("t2", "second");
    dir.write("taken.dll", "kept");
    fs::create_directories(dir.path() / "folder");

    EXPECT_FALSE(files->moveFile(at("t1"), at("taken.dll"), Overwrite::Never));
    EXPECT_FALSE(files->moveFile(at("t1"), at("TAKEN.DLL"), Overwrite::Never));
    EXPECT_FALSE(files->moveFile(at("t1"), at("folder"), Overwrite::Existing));
    EXPECT_FALSE(files->moveFile(at("missing"), at("new.dll"), Overwrite::Never));
    EXPECT_EQ(dir.read("taken.dll"), "kept");

    ASSERT_TRUE(files->moveFile(at("t1"), at("new.dll"), Overwrite::Never));
    ASSERT_TRUE(files->moveFile(at("t2"), at("taken.dll"), Overwrite::Existing));
    EXPECT_EQ(dir.read("new.dll"), "first");
    EXPECT_EQ(dir.read("taken.dll"), "second");
    EXPECT_FALSE(files->fileExists(at("t1")));
    EXPECT_FALSE(files->fileExists(at("t2")));
    // A name that went has its removal made durable; a folder that is not there has nothing to flush.
    EXPECT_TRUE(files->flush(std::vector<std::string>{at("t1")}));
    EXPECT_FALSE(files->flush(std::vector<std::string>{at("no folder\\t1")}));
}

// The look an unattended install takes at an installed file: is it the package's already? Its bytes are the
// record's digest too, so every one of them must reach the sink, whatever the answer, read into its buffers
// or not; the backend and the fallback the test file systems use must agree.
TEST_F(ReplacementSteps, sameBytesHandsOverTheWholeFirstFileAndComparesItWithTheSecond) {
    // Over a piece of the backends' reads, so that the comparison goes on across pieces.
    const std::string big(300 * 1024 + 7, 'x');
    std::string lastDiffers = big;
    lastDiffers.back() = 'y';
    dir.write("big.dll", big);
    dir.write("same.dll", big);
    dir.write("last.dll", lastDiffers);
    dir.write("shorter.dll", big.substr(0, big.size() - 1));
    dir.write("empty.dll", "");
    dir.write("empty2.dll", "");
    test::ForwardingFileSystem fallback(*files);
    // No buffer, buffers smaller than a backend's pieces, and larger ones.
    for (const std::size_t lends : {std::size_t{0}, std::size_t{1000}, std::size_t{1} << 20}) {
        for (FileSystem* each : {files.get(), static_cast<FileSystem*>(&fallback)}) {
            const auto compare = [&](std::string_view first, std::string_view second) {
                test::LendingSink sink(lends);
                const auto same = each->sameBytes(at(first), at(second), sink);
                if (same) {
                    EXPECT_EQ(sink.bytes, dir.read(first))
                        << first << " against " << second << ", lent " << lends;
                }
                return same;
            };
            EXPECT_EQ(compare("big.dll", "same.dll"), true);
            EXPECT_EQ(compare("big.dll", "last.dll"), false);
            EXPECT_EQ(compare("big.dll", "shorter.dll"), false);
            EXPECT_EQ(compare("shorter.dll", "big.dll"), false);
            EXPECT_EQ(compare("empty.dll", "empty2.dll"), true);
            EXPECT_EQ(compare("empty.dll", "big.dll"), false);
            // Nothing is known where either file cannot be read.
            EXPECT_EQ(compare("missing.dll", "big.dll"), std::nullopt);
            EXPECT_EQ(compare("big.dll", "missing.dll"), std::nullopt);
            EXPECT_EQ(compare("big.dll", ""), std::nullopt);
        }
    }
}

// Within a run the backend may answer from what it has seen: it must see its own changes at once, on every
// name of a file, and meet another program's changes in the operation that would otherwise overwrite them.
TEST_F(ReplacementSteps, aRunSeesItsOwnChangesAtOnceOnEveryNameOfAFile) {
    dir.write("a.dll", "original");
    dir.write("package.dll", "new content");
    dir.write("read-only.dll", "");
    fs::permissions(dir.path() / "read-only.dll", fs::perms::owner_read);
    const auto readOnly = files->attributes(at("read-only.dll"));
    const FileSystemRun run(*files);
    const auto writable = files->attributes(at("a.dll"));
    ASSERT_TRUE(readOnly && writable && files->fileExists(at("package.dll")));

    ASSERT_EQ(files->linkFile(at("a.dll"), at("a.dll_backup")).outcome, FileSystem::LinkOutcome::Linked);
    EXPECT_TRUE(files->sameFile(at("a.dll"), at("a.dll_backup")));
    // Marks belong to the file: set through one name, they are seen under the other too.
    ASSERT_TRUE(files->setAttributes(at("a.dll_backup"), *readOnly));
    EXPECT_EQ(files->attributes(at("a.dll")), readOnly);
    ASSERT_TRUE(files->clearAttributes(at("a.dll")));
    EXPECT_NE(files->attributes(at("a.dll_backup")), readOnly);
    ASSERT_TRUE(files->setAttributes(at("a.dll"), *readOnly));
    EXPECT_EQ(files->attributes(at("a.dll_backup")), readOnly);

    const std::string temporary = temporaryNameBeside(at("a.dll"));
    ASSERT_TRUE(files->copyFileToNew(at("package.dll"), temporary));
    EXPECT_EQ(files->attributes(temporary), files->attributes(at("package.dll")));
    ASSERT_TRUE(files->moveFile(temporary, at("a.dll"), Overwrite::Existing));
    EXPECT_FALSE(files->fileExists(temporary));
    EXPECT_FALSE(files->sameFile(at("a.dll"), at("a.dll_backup")));
    EXPECT_EQ(files->sameBytes(at("a.dll"), at("package.dll"), ignored), true);
    // Windows lifts the mark of the file it replaces, which the backup shares; an install puts it back.
    ASSERT_TRUE(files->setAttributes(at("a.dll_backup"), *readOnly));
    EXPECT_EQ(files->attributes(at("a.dll_backup")), readOnly);

    ASSERT_TRUE(files->appendToFile(at("package.dll"), " and more"));
    EXPECT_EQ(files->sameBytes(at("a.dll"), at("package.dll"), ignored), false);
    ASSERT_TRUE(files->clearAttributes(at("a.dll_backup")) && files->deleteFile(at("a.dll_backup")));
    EXPECT_FALSE(files->fileExists(at("a.dll_backup")));
    ASSERT_TRUE(files->deleteFile(at("a.dll")));
    EXPECT_FALSE(files->fileExists(at("a.dll")));
}

TEST_F(ReplacementSteps, aRunMeetsWhatAnotherProgramChangedMeanwhile) {
    dir.write("a.dll", "installed");
    dir.write("same.dll", "installed");
    dir.write("package.dll", "new");
    {
        const FileSystemRun run(*files);
        ASSERT_TRUE(files->fileExists(at("a.dll")) && files->fileExists(at("same.dll")));
        ASSERT_TRUE(files->fileExists(at("package.dll")));
        ASSERT_FALSE(files->fileExists(at("a.dll_backup")));

        // A name taken meanwhile is never overwritten.
        dir.write("a.dll_backup", "someone else's");
        EXPECT_NE(files->linkFile(at("a.dll"), at("a.dll_backup")).outcome, FileSystem::LinkOutcome::Linked);
        EXPECT_FALSE(files->moveFile(at("package.dll"), at("a.dll_backup"), Overwrite::Never));
        EXPECT_EQ(dir.read("a.dll_backup"), "someone else's");

        // A file that grew meanwhile is not the same, whatever size was seen before.
        test::writeFile(dir.path() / "same.dll", "installed, and more");
        EXPECT_EQ(files->sameBytes(at("a.dll"), at("same.dll"), ignored), false);

        // A file that went is met by the copy, and looked at afresh after it.
        fs::remove(dir.path() / "package.dll");
        EXPECT_FALSE(files->copyFileToNew(at("package.dll"), temporaryNameBeside(at("a.dll"))));
        EXPECT_FALSE(files->fileExists(at("package.dll")));
    }
    // After the run every look asks the disk again.
    EXPECT_TRUE(files->fileExists(at("a.dll_backup")));
    EXPECT_EQ(namesInFolder(), (std::vector<std::string>{"a.dll", "a.dll_backup", "same.dll"}));
}

TEST(TemporaryNames, areRecognisableAndNeverRepeat) {
    const std::string first = temporaryNameBeside("C:\\Vantrel\\\\bin\\a.dll");
    const std::string second = temporaryNameBeside("C:\\Vantrel\\\\bin\\a.dll");
    EXPECT_NE(first, second);
    EXPECT_TRUE(first.starts_with("C:\\Vantrel\\\\bin\\~hotfix,"));
    EXPECT_TRUE(isTemporaryName(first.substr(first.rfind('\\') + 1)));
    EXPECT_FALSE(isTemporaryName("a.dll"));
    // A list entry cannot hold a comma, so no listed file can ever bear a temporary name.
    EXPECT_NE(first.substr(first.rfind('\\')).find(','), std::string::npos);
    EXPECT_TRUE(temporaryNameBeside("/opt/root/a.dll").starts_with("/opt/root/~hotfix,"));
}

} // namespace
} // namespace hotfix
