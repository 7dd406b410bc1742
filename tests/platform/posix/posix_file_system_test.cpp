#include "platform/package_text.hpp"
#include "platform/platform_services.hpp"
#include "platform/posix/posix_code_page_codec.hpp"
#include "platform/posix/posix_file_system.hpp"
#include "platform/posix/scoped_environment.hpp"
#include "platform/temporary_name.hpp"
#include "support/lending_sink.hpp"
#include "support/temp_dir.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace hotfix::posix {
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

TEST_F(PosixFileSystemTest, copyCarriesTheSourcesMarks) {
    dir.write("new/a.dll", "new content");
    fs::create_directories(dir.path() / "old");
    fs::permissions(dir.path() / "new/a.dll", fs::perms::owner_read | fs::perms::group_read);
    ASSERT_TRUE(files.copyFileToNew(winPath(dir, "new\\a.dll"), winPath(dir, "old\\b.dll")));
    EXPECT_EQ(dir.read("old/b.dll"), "new content");
    EXPECT_EQ(fs::status(dir.path() / "old/b.dll").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read);

    // Only read, write and execute bits: a package must not bring set-user-id programs to a workstation.
    ASSERT_EQ(::chmod((dir.path() / "new/a.dll").c_str(), 07755), 0);
    ASSERT_TRUE(files.copyFileToNew(winPath(dir, "new\\a.dll"), winPath(dir, "old\\d.dll")));
    struct stat st {};
    ASSERT_EQ(::stat((dir.path() / "old/d.dll").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755U);
}

TEST_F(PosixFileSystemTest, readOnlyFileIsNeitherOverwrittenNorDeletedUntilCleared) {
    dir.write("a.dll", "installed");
    dir.write("b.dll", "package");
    const std::string installed = winPath(dir, "a.dll");
    fs::permissions(dir.path() / "a.dll", fs::perms::owner_read);
    const auto before = files.attributes(installed);
    ASSERT_TRUE(before.has_value());

    EXPECT_FALSE(files.appendToFile(installed, "more"));
    EXPECT_FALSE(files.deleteFile(installed));
    EXPECT_EQ(dir.read("a.dll"), "installed");

    ASSERT_TRUE(files.clearAttributes(installed));
    EXPECT_TRUE(files.appendToFile(installed, " and more"));
    EXPECT_EQ(dir.read("a.dll"), "installed and more");

    ASSERT_TRUE(files.setAttributes(installed, *before));
    EXPECT_EQ(files.attributes(installed), before);
}

TEST_F(PosixFileSystemTest, copyToNewNeverOverwrites) {
    dir.write("new/a.dll", "new");
    dir.write("old/A.DLL", "installed");
    EXPECT_FALSE(files.copyFileToNew(winPath(dir, "new\\a.dll"), winPath(dir, "old\\a.dll")));
    EXPECT_EQ(dir.read("old/A.DLL"), "installed");
    ASSERT_TRUE(files.copyFileToNew(winPath(dir, "new\\a.dll"), winPath(dir, "old\\b.dll")));
    EXPECT_EQ(dir.read("old/b.dll"), "new");
    EXPECT_FALSE(files.copyFileToNew(winPath(dir, "new\\a.dll"), winPath(dir, "old\\b.dll")));
}

TEST_F(PosixFileSystemTest, failingCopiesReportFailure) {
    EXPECT_FALSE(files.copyFileToNew(winPath(dir, "missing.dll"), winPath(dir, "a.dll")));
    dir.write("a.dll", "a");
    EXPECT_FALSE(files.copyFileToNew(winPath(dir, "a.dll"), winPath(dir, "no\\such\\folder\\a.dll")));
    fs::create_directories(dir.path() / "folder");
    EXPECT_FALSE(files.copyFileToNew(winPath(dir, "a.dll"), winPath(dir, "folder")));
    EXPECT_FALSE(files.copyFileToNew(winPath(dir, "folder"), winPath(dir, "b.dll")));
}

TEST_F(PosixFileSystemTest, textFilesAreCreatedOnlyNewAppendedAndRead) {
    const std::string script = winPath(dir, "Register.bat");
    EXPECT_FALSE(files.appendToFile(script, "cd\\\r\n"));
    ASSERT_TRUE(files.createTextFile(script));
    ASSERT_TRUE(files.appendToFile(script, "cd\\\r\nC:\r\n"));
    ASSERT_TRUE(files.appendToFile(script, "regsvr32 a.dll\r\n"));
    EXPECT_EQ(dir.read("Register.bat"), "cd\\\r\nC:\r\nregsvr32 a.dll\r\n");
    EXPECT_EQ(readWholeFile(files, script), "cd\\\r\nC:\r\nregsvr32 a.dll\r\n");

    // A script that is there may be running: it is neither emptied nor written over.
    EXPECT_FALSE(files.createTextFile(script));
    EXPECT_EQ(dir.read("Register.bat"), "cd\\\r\nC:\r\nregsvr32 a.dll\r\n");
    EXPECT_TRUE(files.deleteFile(script));
    EXPECT_FALSE(files.fileExists(script));
    EXPECT_FALSE(files.deleteFile(script));
}

// Wine's cmd reads a script in the OEM code page of its locale; best fit would turn U+FF06 into "&" and
// U+FF02 into a quote mark, and "ł" into "l".
TEST(PosixCodePages, scriptsAreWrittenExactlyInTheInterpretersCodePageOrNotAtAll) {
    const std::string cafe = "cd C:\\Caf\xC3\xA9\\";
    const std::string lSlash = "\xC5\x82"
                               "ib.dll";
    const PosixCodePageCodec us({1252, 437});
    EXPECT_EQ(encodeScriptLines(std::vector<std::string>{cafe, "C:"}, us), "cd C:\\Caf\x82\\\r\nC:\r\n");
    const std::vector<std::string> refusedTexts{"x\xEF\xBC\x86"
                                                "calc.dll",
                                                "q\xEF\xBC\x82"
                                                "x.dll",
                                                lSlash, "\xE2\x84\xA6"};
    for (const std::string& refused : refusedTexts) {
        SCOPED_TRACE(refused);
        EXPECT_EQ(scriptText(refused, us), std::nullopt);
        EXPECT_EQ(encodeScriptLines(std::vector<std::string>{"a", refused}, us), std::nullopt);
    }
    EXPECT_EQ(scriptText(cafe, us), cafe);

    EXPECT_EQ(scriptText(lSlash, PosixCodePageCodec({1250, 852})), lSlash);
    // Vietnamese: the converter holds the last letter back until the text ends.
    EXPECT_EQ(scriptText("\xC4\x82n.dll", PosixCodePageCodec({1258, 1258})), "\xC4\x82n.dll");
    // A code page the C library lacks takes plain ASCII only.
    const PosixCodePageCodec unknown({1252, 1});
    EXPECT_EQ(scriptText("a.dll", unknown), "a.dll");
    EXPECT_EQ(scriptText(cafe, unknown), std::nullopt);
}

// A list file made on a Cyrillic workstation: "Программа\ядро.dll" in Windows-1251, with 0x98, which 1251
// leaves undefined, in the name.
constexpr std::string_view kCyrillicList = "\xCF\xF0\xEE\xE3\xF0\xE0\xEC\xEC\xE0\\\xFF\xE4\x98\xF0\xEE.dll";

TEST(PosixCodePages, listFilesThatAreNotUtf8AreReadInTheLocalesAnsiCodePage) {
    const std::string cyrillicAsUtf8 = "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3\xD1\x80\xD0\xB0\xD0\xBC\xD0\xBC"
                                       "\xD0\xB0\\\xD1\x8F\xD0\xB4\xC2\x98\xD1\x80\xD0\xBE.dll";
    const std::string westernAsUtf8 = "\xC3\x8F\xC3\xB0\xC3\xAE\xC3\xA3\xC3\xB0\xC3\xA0\xC3\xAC\xC3\xAC"
                                      "\xC3\xA0\\\xC3\xBF\xC3\xA4\xCB\x9C\xC3\xB0\xC3\xAE.dll";
    {
        // Whether or not the C library has the locale, Wine takes Russian from it.
        const test::ScopedEnvironment russian("LC_ALL", "ru_RU.UTF-8");
        const auto russianPages = makeCodePageCodec();
        EXPECT_EQ(decodeListFile(std::string(kCyrillicList), *russianPages), cyrillicAsUtf8);
        // Notepad's UTF-8, with its byte-order mark.
        EXPECT_EQ(decodeListFile("\xEF\xBB\xBF\xD0\xAF\\a.dll", *russianPages), "\xD0\xAF\\a.dll");
    }
    {
        const test::ScopedEnvironment german("LC_ALL", "de_DE.UTF-8");
        EXPECT_EQ(decodeListFile(std::string(kCyrillicList), *makeCodePageCodec()), westernAsUtf8);
    }
    // A code page the C library cannot convert falls back to Windows-1252.
    EXPECT_EQ(decodeListFile(std::string(kCyrillicList), PosixCodePageCodec({1, 437})), westernAsUtf8);

    // Japanese: 0x5C ends the pair of "表", so it is no separator; a broken pair keeps its byte.
    EXPECT_EQ(decodeListFile("\x95\x5C\\a\x83.dll", PosixCodePageCodec({932, 932})),
              "\xE8\xA1\xA8\\a\xC2\x83.dll");
    // Hebrew: a letter held back for a point still comes before the undefined byte after it.
    EXPECT_EQ(decodeListFile("\xE9\xFF\\a.dll", PosixCodePageCodec({1255, 862})), "\xD7\x99\xC3\xBF\\a.dll");
    // Western: the five bytes 1252 leaves undefined keep their value, and nothing is lost.
    const PosixCodePageCodec western({1252, 437});
    EXPECT_EQ(decodeListFile("plain", western), "plain");
    EXPECT_EQ(decodeListFile(std::string("a\0b", 3), western), std::string("a\0b", 3));
    EXPECT_EQ(decodeListFile("caf\xE9\x80\x81\xFF", western), "caf\xC3\xA9\xE2\x82\xAC\xC2\x81\xC3\xBF");
}

TEST_F(PosixFileSystemTest, identityTellsFilesApartNotSpellings) {
    dir.write("a.txt", "a");
    const auto first = files.identity(winPath(dir, "a.txt"));
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(files.identity(winPath(dir, "A.TXT")), first);
    ASSERT_TRUE(files.deleteFile(winPath(dir, "a.txt")));
    EXPECT_EQ(files.identity(winPath(dir, "a.txt")), std::nullopt);
    dir.write("a.txt", "a");
    EXPECT_NE(files.identity(winPath(dir, "a.txt")), first);
}

TEST_F(PosixFileSystemTest, unreadableTextGivesNothing) {
    fs::create_directories(dir.path() / "folder");
    EXPECT_FALSE(readWholeFile(files, winPath(dir, "folder")).has_value());
    EXPECT_FALSE(readWholeFile(files, winPath(dir, "missing.txt")).has_value());
    EXPECT_FALSE(files.createTextFile(winPath(dir, "folder")));
}

// Moves a folder's modification time away from now, as a change by another program some time later does.
void touchFolderLater(const fs::path& folder) {
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    const timespec times[2] = {st.st_atim, {st.st_mtim.tv_sec + 5, st.st_mtim.tv_nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
}

// A prefix whose drive C: holds an installed product.
class PrefixFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.path() / "prefix/dosdevices");
        fs::create_directory_symlink("../drive_c", dir.path() / "prefix/dosdevices/c:");
        dir.write("prefix/drive_c/Program Files/Vantrel/Bin/Engine.DLL", "engine");
        dir.write("package/new.dll", "new");
    }

    fs::path installed(std::string_view relative) const {
        return dir.path() / "prefix/drive_c/Program Files/Vantrel" / relative;
    }

    TempDir dir;
    PosixFileSystem files{WinePrefix(dir.str() + "/prefix")};
};

TEST_F(PrefixFileSystemTest, driveLettersLeadIntoThePrefixIgnoringCase) {
    EXPECT_TRUE(files.fileExists("C:\\Program Files\\Vantrel\\Bin\\Engine.DLL"));
    EXPECT_TRUE(files.fileExists("c:\\PROGRAM FILES\\vantrel\\\\bin\\engine.dll"));
    EXPECT_EQ(readWholeFile(files, "C:\\program files\\VANTREL\\BIN\\ENGINE.DLL"), "engine");
    EXPECT_TRUE(files.folderExists("C:\\"));
    EXPECT_TRUE(files.folderExists("C:"));
    EXPECT_FALSE(files.fileExists("C:\\Program Files\\Vantrel\\Bin\\Other.dll"));
    EXPECT_FALSE(files.folderExists("Q:\\"));
    EXPECT_EQ(files.nativePath("Q:\\a.dll"), "");
    EXPECT_FALSE(files.createTextFile("Q:\\a.txt"));
}

TEST_F(PrefixFileSystemTest, newFilesKeepTheCaseTheyWereGiven) {
    ASSERT_TRUE(
        files.copyFileToNew(dir.str() + "\\package\\NEW.DLL", "C:\\PROGRAM FILES\\vantrel\\BIN\\New.dll"));
    EXPECT_EQ(test::readFile(installed("Bin/New.dll")), "new");
    ASSERT_TRUE(files.createTextFile("c:\\program files\\VANTREL\\Register.BAT"));
    EXPECT_TRUE(fs::exists(installed("Register.BAT")));
    // Found again under any case, and not created twice.
    EXPECT_FALSE(
        files.copyFileToNew(dir.str() + "/package/new.dll", "C:\\Program Files\\Vantrel\\Bin\\NEW.DLL"));
    EXPECT_TRUE(files.fileExists("C:\\Program Files\\Vantrel\\Bin\\NEW.DLL"));
    EXPECT_FALSE(fs::exists(installed("Bin/NEW.DLL")));
    EXPECT_TRUE(files.deleteFile("C:\\Program Files\\Vantrel\\register.bat"));
    EXPECT_FALSE(fs::exists(installed("Register.BAT")));
    // A folder that does not exist is not made up.
    EXPECT_FALSE(
        files.copyFileToNew(dir.str() + "/package/new.dll", "C:\\Program Files\\Vantrel\\Lib\\a.dll"));
}

TEST_F(PrefixFileSystemTest, aCopyHandsEveryByteOverOnceAndAReadFindsANameInAnyCase) {
    std::string big(700 * 1024, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 31 % 251);
    }
    dir.write("package/BIG.DLL", big);
    // Read into buffers the sink lends, each piece written before the sink has it back.
    test::LendingSink lending(1000);
    ASSERT_TRUE(files.copyFileToNewThrough(dir.str() + "\\package\\big.dll",
                                           "C:\\program files\\VANTREL\\bin\\Big.dll", lending));
    EXPECT_EQ(lending.bytes, big);
    EXPECT_EQ(lending.piecesInLentBuffer, (big.size() + 999) / 1000);
    EXPECT_EQ(test::readFile(installed("Bin/Big.dll")), big);
    // Never over a name that is there in another case, and a source that is not there hands nothing over.
    test::LendingSink pieces;
    EXPECT_FALSE(files.copyFileToNewThrough(dir.str() + "/package/big.dll",
                                            "C:\\Program Files\\Vantrel\\Bin\\BIG.DLL", pieces));
    EXPECT_FALSE(files.copyFileToNewThrough(dir.str() + "/package/none.dll",
                                            "C:\\Program Files\\Vantrel\\Bin\\n.dll", pieces));
    EXPECT_TRUE(pieces.bytes.empty());
    EXPECT_FALSE(fs::exists(installed("Bin/n.dll")));
    EXPECT_EQ(readWholeFile(files, "c:\\PROGRAM FILES\\vantrel\\BIN\\big.DLL"), big);
    EXPECT_FALSE(files.readFile("C:\\Program Files\\Vantrel\\Bin\\none.dll", [](std::span<const char>) {}));

    // A temporary name is made where its folder is, spelled in any case, and never over a file there.
    const std::string temporary = temporaryNameBeside("C:\\program files\\VANTREL\\bin\\a.dll");
    ASSERT_TRUE(files.copyFileToNew(dir.str() + "/package/big.dll", temporary));
    const std::string made = temporary.substr(temporary.rfind('\\') + 1);
    dir.write("package/other.dll", "other");
    EXPECT_EQ(test::readFile(installed("Bin/" + made)), big);
    EXPECT_FALSE(files.copyFileToNewThrough(dir.str() + "/package/other.dll", temporary, pieces));
    EXPECT_EQ(test::readFile(installed("Bin/" + made)), big);
}

TEST_F(PrefixFileSystemTest, aRecordUnderProgramDataLandsInThePrefixsDriveC) {
    const std::string records = programDataFolder() + "\\HotFix\\Records";
    ASSERT_TRUE(files.createFolders(records));
    ASSERT_TRUE(files.appendDurably(records + "\\run.log", "one\n"));
    ASSERT_TRUE(files.appendDurably("c:\\programdata\\HOTFIX\\records\\RUN.LOG", "two\n"));
    EXPECT_EQ(test::readFile(dir.path() / "prefix/drive_c/ProgramData/HotFix/Records/run.log"), "one\ntwo\n");
    EXPECT_EQ(readWholeFile(files, "C:\\ProgramData\\HotFix\\Records\\run.log"), "one\ntwo\n");

    // Levels that are there are found ignoring case, not made a second time.
    ASSERT_TRUE(files.createFolders("C:\\PROGRAM FILES\\vantrel\\Records"));
    EXPECT_TRUE(fs::is_directory(installed("Records")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "prefix/drive_c"), fs::directory_iterator()),
              2);
}

TEST_F(PrefixFileSystemTest, theExactNameWinsOverOtherCases) {
    dir.write("prefix/drive_c/Program Files/Vantrel/Bin/engine.dll", "lower");
    EXPECT_EQ(readWholeFile(files, "C:\\Program Files\\Vantrel\\Bin\\engine.dll"), "lower");
    EXPECT_EQ(readWholeFile(files, "C:\\Program Files\\Vantrel\\Bin\\Engine.DLL"), "engine");
    // Neither spelling: the first of the names in sorted order, the same on every call.
    EXPECT_EQ(readWholeFile(files, "C:\\Program Files\\Vantrel\\Bin\\ENGINE.dll"), "engine");
}

TEST_F(PrefixFileSystemTest, foldersChangedByOthersAreReadAgain) {
    const std::string other = "C:\\Program Files\\Vantrel\\Bin\\other.dll";
    EXPECT_FALSE(files.fileExists(other));
    dir.write("prefix/drive_c/Program Files/Vantrel/Bin/Other.DLL", "other");
    touchFolderLater(installed("Bin"));
    EXPECT_TRUE(files.fileExists(other));
    fs::remove(installed("Bin/Other.DLL"));
    touchFolderLater(installed("Bin"));
    EXPECT_FALSE(files.fileExists(other));
}

TEST_F(PrefixFileSystemTest, lettersBeyondAsciiMatchIgnoringCase) {
    dir.write("prefix/drive_c/Program Files/Vantrel/\u00c4rger/\u0416.dll", "x");
    EXPECT_TRUE(files.fileExists("C:\\Program Files\\Vantrel\\\u00e4RGER\\\u0436.DLL"));
}

TEST(PosixFileSystemWithoutPrefix, onlyZLeadsAnywhere) {
    TempDir dir;
    dir.write("a.dll", "a");
    PosixFileSystem files{WinePrefix(dir.str() + "/missing-prefix")};
    std::string zPath = "Z:";
    for (const char c : dir.str()) {
        zPath.push_back(c == '/' ? '\\' : c);
    }
    EXPECT_TRUE(files.fileExists(zPath + "\\A.DLL"));
    EXPECT_FALSE(files.fileExists("C:\\a.dll"));
}

// The installer's own folders: made for their owner alone, and refused where a link, another owner or
// others' rights make them untrustworthy: what others wrote may be in a folder they could write, so it is
// never mended and used.
TEST_F(PosixFileSystemTest, privateFoldersAreTheOwnersAloneAndLinksAreNeverFollowed) {
    using Privacy = FileSystem::Privacy;
    ASSERT_EQ(files.makePrivateFolder(winPath(dir, "records")), Privacy::Private);
    EXPECT_EQ(fs::status(dir.path() / "records").permissions() & fs::perms::all, fs::perms::owner_all);
    ASSERT_TRUE(files.appendDurably(winPath(dir, "records\\record.txt"), "line\n"));
    EXPECT_EQ(fs::status(dir.path() / "records/record.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(files.privacy(winPath(dir, "records\\record.txt")), Privacy::Private);

    fs::create_directory(dir.path() / "open");
    fs::permissions(dir.path() / "open", fs::perms::all);
    EXPECT_EQ(files.privacy(winPath(dir, "open")), Privacy::OthersMayWrite);
    EXPECT_EQ(files.makePrivateFolder(winPath(dir, "open")), Privacy::OthersMayWrite);
    EXPECT_EQ(fs::status(dir.path() / "open").permissions() & fs::perms::all, fs::perms::all);

    fs::create_directory_symlink(dir.path() / "records", dir.path() / "link");
    EXPECT_EQ(files.privacy(winPath(dir, "link")), Privacy::Link);
    EXPECT_EQ(files.makePrivateFolder(winPath(dir, "link")), Privacy::Link);
    fs::create_symlink(dir.path() / "records/record.txt", dir.path() / "record link.txt");
    EXPECT_EQ(files.privacy(winPath(dir, "record link.txt")), Privacy::Link);
    EXPECT_FALSE(files.appendDurably(winPath(dir, "record link.txt"), "through the link\n"));
    EXPECT_EQ(dir.read("records/record.txt"), "line\n");
    EXPECT_EQ(files.privacy(winPath(dir, "nothing")), Privacy::Missing);

    if (::geteuid() == 0) {
        ASSERT_EQ(::chown((dir.path() / "open").c_str(), 4242, 4242), 0);
        EXPECT_EQ(files.makePrivateFolder(winPath(dir, "open")), Privacy::ForeignOwner);
    }
}

// Below a drive of the prefix and below a root the run names, a link met on the way or at the last name
// fails the call, by the kernel's walk and by the walk one name at a time alike; the folders themselves may
// be reached through links.
class ConfinedFileSystemTest : public PrefixFileSystemTest,
                               public ::testing::WithParamInterface<BeneathWalk> {
protected:
    void SetUp() override {
        PrefixFileSystemTest::SetUp();
        files.useWalk(GetParam());
        dir.write("outside/victim.dll", "victim");
        fs::create_directory_symlink(dir.path() / "outside", installed("Bin/plugins"));
        fs::create_symlink(dir.path() / "outside/victim.dll", installed("Bin/linked.dll"));
        fs::create_directory_symlink(installed(""), dir.path() / "root link");
    }
};

TEST_P(ConfinedFileSystemTest, aLinkBelowARootIsNeverFollowed) {
    const std::vector<std::string> roots = {dir.str() + "/root link"};
    files.confineBelow(roots);
    for (const std::string& below :
         {std::string("C:\\Program Files\\Vantrel\\Bin\\"), roots[0] + "\\Bin\\"}) {
        EXPECT_FALSE(files.createTextFile(below + "plugins\\new.txt")) << below;
        EXPECT_FALSE(files.appendDurably(below + "plugins\\victim.dll", "line\n")) << below;
        EXPECT_FALSE(files.setAttributes(below + "linked.dll", FileAttributes{0777})) << below;
        EXPECT_FALSE(readWholeFile(files, below + "linked.dll")) << below;
        EXPECT_FALSE(files.copyFileToNew(below + "plugins\\victim.dll", below + "copy.dll")) << below;
        EXPECT_TRUE(files.folderExists(below)) << below;
        EXPECT_EQ(readWholeFile(files, below + "Engine.DLL"), "engine") << below;
    }
    EXPECT_EQ(test::filesBelow(dir.path() / "outside"),
              (std::map<std::string, std::string>{{"victim.dll", "victim"}}));
    EXPECT_EQ(fs::status(dir.path() / "outside/victim.dll").permissions() & fs::perms::others_write,
              fs::perms::none);
    EXPECT_FALSE(fs::exists(installed("Bin/copy.dll")));
}

INSTANTIATE_TEST_SUITE_P(Walks, ConfinedFileSystemTest,
                         ::testing::Values(BeneathWalk::Kernel, BeneathWalk::NameByName));

// The installer's own files are read and appended to only as plain files with one name: a FIFO is refused
// at once rather than waited on, and a second name of another file is neither read nor cut and grown.
TEST_F(PosixFileSystemTest, aRecordThatIsAPipeOrASecondNameIsRefusedAtOnce) {
    using Privacy = FileSystem::Privacy;
    ASSERT_EQ(files.makePrivateFolder(winPath(dir, "records")), Privacy::Private);
    ASSERT_EQ(::mkfifo((dir.path() / "records/pipe.txt").c_str(), 0600), 0);
    dir.write("elsewhere.txt", "another file's\n");
    fs::create_hard_link(dir.path() / "elsewhere.txt", dir.path() / "records/linked.txt");
    const auto ignore = [](std::span<const char>) {
    };
    EXPECT_EQ(files.readPrivateFile(winPath(dir, "records\\pipe.txt"), ignore), Privacy::NotPlainFile);
    EXPECT_EQ(files.readPrivateFile(winPath(dir, "records\\linked.txt"), ignore), Privacy::NotPlainFile);
    EXPECT_FALSE(files.appendDurably(winPath(dir, "records\\linked.txt"), "record line\n"));
    EXPECT_FALSE(files.appendDurably(winPath(dir, "records\\pipe.txt"), "record line\n"));
    EXPECT_EQ(dir.read("elsewhere.txt"), "another file's\n");
    ASSERT_TRUE(files.appendDurably(winPath(dir, "records\\record.txt"), "line\n"));
    std::string read;
    EXPECT_EQ(files.readPrivateFile(
                  winPath(dir, "records\\record.txt"),
                  [&read](std::span<const char> piece) { read.append(piece.data(), piece.size()); }),
              Privacy::Private);
    EXPECT_EQ(read, "line\n");
}

TEST(PosixRunLock, oneHolderAtATimeWhateverBecomesOfTheLockFilesName) {
    TempDir prefix;
    test::ScopedEnvironment wine("WINEPREFIX", prefix.str().c_str());
    const auto first = makeRunLock();
    const auto second = makeRunLock();
    ASSERT_TRUE(first->tryAcquire());
    EXPECT_FALSE(second->tryAcquire());
    EXPECT_EQ(fs::status(prefix.path() / "hotfix-installer.lock").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);

    fs::remove(prefix.path() / "hotfix-installer.lock");
    EXPECT_FALSE(second->tryAcquire());
    prefix.write("hotfix-installer.lock", "");
    EXPECT_FALSE(second->tryAcquire());

    first->release();
    EXPECT_TRUE(second->tryAcquire());
}

TEST(PosixRunLock, aLockNameThatIsNoPlainFileOrAMissingPrefixIsNeverTakenNorMade) {
    TempDir prefix;
    test::ScopedEnvironment wine("WINEPREFIX", prefix.str().c_str());
    const fs::path name = prefix.path() / "hotfix-installer.lock";
    fs::create_symlink(prefix.path() / "elsewhere", name);
    EXPECT_FALSE(makeRunLock()->tryAcquire());
    EXPECT_FALSE(fs::exists(prefix.path() / "elsewhere"));

    fs::remove(name);
    ASSERT_EQ(::mkfifo(name.c_str(), 0644), 0);
    EXPECT_FALSE(makeRunLock()->tryAcquire());

    const std::string missing = (prefix.path() / "mistyped").string();
    test::ScopedEnvironment mistyped("WINEPREFIX", missing.c_str());
    EXPECT_FALSE(makeRunLock()->tryAcquire());
    EXPECT_FALSE(fs::exists(missing));
}

// Wine refuses a prefix another account owns; so does the installer, and for the drive links and roots too.
TEST(WorkstationOwner, aPrefixADriveLinkOrARootOfAnotherAccountIsRefused) {
    TempDir prefix;
    test::ScopedEnvironment wine("WINEPREFIX", prefix.str().c_str());
    prefix.write("drive_c/Vantrel/core.dll", "core");
    fs::create_directory(prefix.path() / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix.path() / "dosdevices/c:");
    EXPECT_EQ(workstationRefusal({"C:\\Vantrel"}), std::nullopt);

    const uid_t self = ::geteuid();
    const uid_t other = self == 65534 ? 0 : 65534;
    for (const fs::path& owned :
         {prefix.path(), prefix.path() / "dosdevices/c:", prefix.path() / "drive_c/Vantrel"}) {
        if (::lchown(owned.c_str(), other, static_cast<gid_t>(-1)) != 0) {
            GTEST_SKIP() << "this account cannot give files away";
        }
        const auto refusal = workstationRefusal({"C:\\Vantrel"});
        ASSERT_TRUE(refusal.has_value()) << owned;
        EXPECT_NE(refusal->find("belongs to another account"), std::string::npos) << *refusal;
        ASSERT_EQ(::lchown(owned.c_str(), self, static_cast<gid_t>(-1)), 0);
    }
    EXPECT_EQ(workstationRefusal({"C:\\Vantrel"}), std::nullopt);

    const std::string missing = (prefix.path() / "mistyped").string();
    test::ScopedEnvironment mistyped("WINEPREFIX", missing.c_str());
    ASSERT_TRUE(workstationRefusal().has_value());
    EXPECT_NE(workstationRefusal()->find("does not exist"), std::string::npos);
}

} // namespace
} // namespace hotfix::posix
