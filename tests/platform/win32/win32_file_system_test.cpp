#include "platform/package_text.hpp"
#include "platform/platform_services.hpp"
#include "platform/win32/win32_code_page_codec.hpp"
#include "platform/win32/win32_file_system.hpp"
#include "platform/win32/win32_path_resolver.hpp"
#include "platform/win32/win32_test_tools.hpp"
#include "support/temp_dir.hpp"

#include <windows.h>

#include <gtest/gtest.h>

namespace hotfix {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using win32::SystemFolders;
using win32::Win32FileSystem;

// The engine's spelling of a path below the temporary folder, with a doubled separator in the middle.
std::string winPath(const TempDir& dir, std::string_view relative) {
    return dir.str() + "\\\\" + std::string(relative);
}

DWORD attributesOf(const fs::path& path) {
    return ::GetFileAttributesW(test::longForm(path).c_str());
}

class Win32FileSystemTest : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<FileSystem> files = makeFileSystem();
};

TEST_F(Win32FileSystemTest, runsOfSeparatorsAreOneSeparatorInEveryOperation) {
    dir.write("bin/a.dll", "a");
    EXPECT_TRUE(files->fileExists(winPath(dir, "bin\\\\\\a.dll")));
    EXPECT_TRUE(files->fileExists(dir.str() + "//bin\\/a.dll"));
    EXPECT_TRUE(files->folderExists(winPath(dir, "bin\\\\")));
    EXPECT_FALSE(files->folderExists(winPath(dir, "bin\\\\a.dll")));
    EXPECT_FALSE(files->fileExists(winPath(dir, "bin")));

    ASSERT_TRUE(files->copyFileToNew(winPath(dir, "bin\\\\a.dll"), winPath(dir, "bin\\\\a.dll_backup")));
    EXPECT_EQ(dir.read("bin/a.dll_backup"), "a");
    ASSERT_TRUE(files->createTextFile(winPath(dir, "\\Register.bat")));
    ASSERT_TRUE(files->appendToFile(winPath(dir, "\\\\Register.bat"), "cd\\\r\n"));
    EXPECT_EQ(readWholeFile(*files, winPath(dir, "Register.bat")), "cd\\\r\n");
    ASSERT_TRUE(files->deleteFile(winPath(dir, "bin\\\\a.dll_backup")));
    EXPECT_FALSE(dir.exists("bin/a.dll_backup"));
}

TEST_F(Win32FileSystemTest, readOnlyFileIsNeitherOverwrittenNorDeletedUntilCleared) {
    dir.write("a.dll", "installed");
    dir.write("b.dll", "package");
    const std::string installed = winPath(dir, "a.dll");
    ASSERT_TRUE(::SetFileAttributesW((dir.path() / "a.dll").c_str(), FILE_ATTRIBUTE_READONLY |
                                                                         FILE_ATTRIBUTE_HIDDEN |
                                                                         FILE_ATTRIBUTE_ARCHIVE));
    const auto before = files->attributes(installed);
    ASSERT_TRUE(before.has_value());

    EXPECT_FALSE(files->deleteFile(installed));
    EXPECT_FALSE(files->createTextFile(installed));
    EXPECT_FALSE(files->appendToFile(installed, "x\r\n"));
    EXPECT_EQ(dir.read("a.dll"), "installed");

    ASSERT_TRUE(files->clearAttributes(installed));
    // The archive mark is cleared too, but Wine reports it on every file.
    EXPECT_EQ(attributesOf(dir.path() / "a.dll") &
                  (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
              0u);
    EXPECT_TRUE(files->appendToFile(installed, " and more"));
    EXPECT_EQ(dir.read("a.dll"), "installed and more");

    ASSERT_TRUE(files->setAttributes(installed, *before));
    EXPECT_EQ(files->attributes(installed), before);
    EXPECT_FALSE(files->deleteFile(installed));
}

TEST_F(Win32FileSystemTest, copyToNewNeverOverwrites) {
    dir.write("new.dll", "new");
    dir.write("A.DLL", "installed");
    EXPECT_FALSE(files->copyFileToNew(winPath(dir, "new.dll"), winPath(dir, "a.dll")));
    EXPECT_EQ(dir.read("A.DLL"), "installed");
    ASSERT_TRUE(files->copyFileToNew(winPath(dir, "new.dll"), winPath(dir, "b.dll")));
    EXPECT_EQ(dir.read("b.dll"), "new");
}

TEST_F(Win32FileSystemTest, copyCarriesReadOnlyAndNeverDestroysItsSource) {
    dir.write("a.dll", "only copy");
    EXPECT_FALSE(files->copyFileToNew(winPath(dir, "a.dll"), dir.str() + "\\a.dll"));
    EXPECT_EQ(dir.read("a.dll"), "only copy");

    ASSERT_TRUE(::SetFileAttributesW((dir.path() / "a.dll").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(files->copyFileToNew(winPath(dir, "a.dll"), winPath(dir, "b.dll")));
    EXPECT_NE(attributesOf(dir.path() / "b.dll") & FILE_ATTRIBUTE_READONLY, 0u);

    fs::create_directories(dir.path() / "folder");
    EXPECT_FALSE(files->copyFileToNew(winPath(dir, "missing.dll"), winPath(dir, "c.dll")));
    EXPECT_FALSE(files->copyFileToNew(winPath(dir, "a.dll"), winPath(dir, "no\\such\\folder\\a.dll")));
    EXPECT_FALSE(files->copyFileToNew(winPath(dir, "a.dll"), winPath(dir, "folder")));
    EXPECT_FALSE(files->copyFileToNew(winPath(dir, "folder"), winPath(dir, "c.dll")));
    EXPECT_FALSE(files->clearAttributes(winPath(dir, "folder")));
    EXPECT_FALSE(readWholeFile(*files, winPath(dir, "folder")).has_value());
    EXPECT_FALSE(readWholeFile(*files, winPath(dir, "missing.txt")).has_value());
}

TEST(ProgramDataFolder, isAFolderThereWithoutAClosingSeparator) {
    const std::string folder = programDataFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    EXPECT_TRUE(makeFileSystem()->folderExists(folder));
}

// Folders too deep for std::filesystem to remove, removed through the "\\?\" form with what they hold.
class DeepFolders {
public:
    DeepFolders() = default;
    DeepFolders(const DeepFolders&) = delete;
    DeepFolders& operator=(const DeepFolders&) = delete;
    ~DeepFolders() {
        for (auto it = m_folders.rbegin(); it != m_folders.rend(); ++it) {
            for (const wchar_t* name : {L"a.dll", L"a.dll_backup"}) {
                const std::wstring file = test::longForm(*it / name);
                ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(file.c_str());
            }
            ::RemoveDirectoryW(test::longForm(*it).c_str());
        }
    }
    bool create(const fs::path& folder) {
        track(folder);
        return ::CreateDirectoryW(test::longForm(folder).c_str(), nullptr) != 0;
    }
    // A folder made some other way, removed with the others.
    void track(const fs::path& folder) { m_folders.push_back(folder); }

private:
    std::vector<fs::path> m_folders;
};

TEST_F(Win32FileSystemTest, pathsLongerThanMaxPathWork) {
    // Deep enough that the file's path passes 260 characters whatever the temporary folder is.
    DeepFolders deep;
    fs::path folder = dir.path();
    std::string engineFolder = dir.str();
    for (int i = 0; i < 6; ++i) {
        const std::string name = "folder-" + std::to_string(i) + "-" + std::string(40, 'x');
        folder /= name;
        engineFolder += "\\\\" + name;
        // The last levels, past the shorter limit of folder creation, are made by createFolders.
        if (i < 4) {
            ASSERT_TRUE(deep.create(folder));
        } else {
            deep.track(folder);
        }
    }
    ASSERT_TRUE(files->createFolders(engineFolder));
    const std::string file = engineFolder + "\\a.dll";
    ASSERT_GT(file.size(), static_cast<std::size_t>(MAX_PATH));

    EXPECT_TRUE(files->folderExists(engineFolder));
    ASSERT_TRUE(files->createTextFile(file));
    ASSERT_TRUE(files->appendToFile(file, "long\r\n"));
    EXPECT_TRUE(files->fileExists(file));
    EXPECT_EQ(readWholeFile(*files, file), "long\r\n");
    ASSERT_TRUE(files->copyFileToNew(file, file + "_backup"));
    ASSERT_TRUE(files->setAttributes(file + "_backup", FileAttributes{FILE_ATTRIBUTE_READONLY}));
    EXPECT_FALSE(files->deleteFile(file + "_backup"));
    ASSERT_TRUE(files->clearAttributes(file + "_backup"));
    EXPECT_TRUE(files->deleteFile(file + "_backup"));
    EXPECT_TRUE(files->deleteFile(file));
    EXPECT_FALSE(files->fileExists(file));

    ASSERT_TRUE(files->appendDurably(file, "record"));
    EXPECT_EQ(readWholeFile(*files, file), "record");
    EXPECT_TRUE(files->deleteFile(file));
}

// cmd reads a batch file in the OEM code page. Best fit would turn U+FF06 into "&", U+FF02 into a quote
// mark and "ł" into "l" there; a script holds a character exactly or not at all.
TEST(Win32CodePages, scriptsAreWrittenExactlyInTheOemCodePageOrNotAtAll) {
    const win32::Win32CodePageCodec codePages;
    const std::string cafe = "cd C:\\Caf\xC3\xA9\\";
    const UINT oem = ::GetOEMCP();
    if (oem != 437 && oem != 850) {
        GTEST_SKIP() << "OEM code page " << oem;
    }
    // e-acute is 0x82 in the OEM code page (0xE9 in the ANSI one).
    EXPECT_EQ(encodeScriptLines(std::vector<std::string>{cafe, "regsvr32 a.dll"}, codePages),
              "cd C:\\Caf\x82\\\r\nregsvr32 a.dll\r\n");
    EXPECT_EQ(scriptText(cafe, codePages), cafe);
    for (const std::string refused : {"x\xEF\xBC\x86"
                                      "calc.dll",
                                      "q\xEF\xBC\x82"
                                      "x.dll",
                                      "\xC5\x82"
                                      "ib.dll"}) {
        SCOPED_TRACE(refused);
        EXPECT_EQ(scriptText(refused, codePages), std::nullopt);
        EXPECT_EQ(encodeScriptLines(std::vector<std::string>{"a", refused}, codePages), std::nullopt);
    }
}

TEST_F(Win32FileSystemTest, aScriptThatIsThereIsNeverEmptied) {
    const std::string script = winPath(dir, "Register.bat");
    ASSERT_TRUE(files->createTextFile(script));
    ASSERT_TRUE(files->appendToFile(script, "cd\\\r\n"));
    EXPECT_FALSE(files->createTextFile(script));
    EXPECT_EQ(dir.read("Register.bat"), "cd\\\r\n");
}

TEST_F(Win32FileSystemTest, identityTellsFilesApartNotSpellings) {
    dir.write("a.txt", "a");
    const auto first = files->identity(winPath(dir, "a.txt"));
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(files->identity(winPath(dir, "A.TXT")), first);
    ASSERT_TRUE(files->deleteFile(winPath(dir, "a.txt")));
    EXPECT_EQ(files->identity(winPath(dir, "a.txt")), std::nullopt);
}

TEST(Win32CodePages, listFilesAreReadInTheAnsiCodePageUnlessTheyAreUtf8) {
    const win32::Win32CodePageCodec codePages;
    EXPECT_EQ(decodeListFile("Caf\xC3\xA9\\a.dll", codePages), "Caf\xC3\xA9\\a.dll");
    if (::GetACP() != 1252) {
        GTEST_SKIP() << "ANSI code page " << ::GetACP();
    }
    EXPECT_EQ(decodeListFile("Caf\xE9\\a.dll", codePages), "Caf\xC3\xA9\\a.dll");
}

TEST_F(Win32FileSystemTest, namesBeyondTheAnsiCodePageWork) {
    // Paths travel as UTF-8 and reach Windows as UTF-16, so no code page limits them.
    const std::string name = "\xCE\xB1\xCE\xB2\xE2\x82\xAC.dll"; // Greek alpha, beta and the euro sign
    dir.write("a.dll", "a");
    ASSERT_TRUE(files->copyFileToNew(winPath(dir, "a.dll"), winPath(dir, name)));
    EXPECT_TRUE(fs::exists(dir.path() / L"\u03B1\u03B2\u20AC.dll"));
    EXPECT_TRUE(files->fileExists(winPath(dir, name)));
    EXPECT_FALSE(files->fileExists(winPath(dir, "\xFF\xFE.dll"))); // not UTF-8
}

TEST(Win32Paths, runsCollapseButANetworkPathKeepsItsLeadingPair) {
    EXPECT_EQ(win32::collapseSeparators(L"C:\\a\\\\b//c\\/d\\"), L"C:\\a\\b\\c\\d\\");
    EXPECT_EQ(win32::collapseSeparators(L"\\\\server\\\\share\\a"), L"\\\\server\\share\\a");

    const win32::Win32PathResolver paths{SystemFolders{L"C:\\windows\\system32", L""}};
    EXPECT_EQ(paths.toNative("C:\\a\\\\b"), L"C:\\a\\b");
    const std::string name(300, 'x');
    EXPECT_EQ(paths.toNative("\\\\server\\share\\\\" + name),
              L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'x'));
    EXPECT_EQ(paths.toNative("C:\\" + name), L"\\\\?\\C:\\" + std::wstring(300, L'x'));
}

// A Windows folder of its own, to watch the redirection of System32 without touching the real one.
class RedirectedFileSystemTest : public ::testing::Test {
protected:
    RedirectedFileSystemTest() {
        fs::create_directories(dir.path() / "WINDOWS" / "system32" / "drivers" / "etc");
        fs::create_directories(dir.path() / "WINDOWS" / "SysWOW64" / "drivers" / "etc");
    }
    std::string windows() const { return dir.str() + "\\WINDOWS"; }

    TempDir dir;
    Win32FileSystem files{SystemFolders{(dir.path() / "WINDOWS" / "system32").wstring(),
                                        (dir.path() / "WINDOWS" / "SysWOW64").wstring()}};
};

TEST_F(RedirectedFileSystemTest, system32GoesToSysWow64AsFor32BitPrograms) {
    ASSERT_TRUE(files.createTextFile(windows() + "\\\\system32\\a.txt"));
    EXPECT_TRUE(dir.exists("WINDOWS/SysWOW64/a.txt"));
    EXPECT_FALSE(dir.exists("WINDOWS/system32/a.txt"));
    EXPECT_TRUE(files.fileExists(windows() + "\\SYSTEM32\\a.txt"));

    dir.write("WINDOWS/SysWOW64/b.dll", "32-bit");
    dir.write("WINDOWS/system32/b.dll", "64-bit");
    EXPECT_EQ(readWholeFile(files, windows() + "\\System32\\b.dll"), "32-bit");
}

TEST_F(RedirectedFileSystemTest, exemptFoldersAndSysnativeReachTheRealSystem32) {
    ASSERT_TRUE(files.createTextFile(windows() + "\\system32\\drivers\\etc\\hosts"));
    EXPECT_TRUE(dir.exists("WINDOWS/system32/drivers/etc/hosts"));
    ASSERT_TRUE(files.createTextFile(windows() + "\\Sysnative\\c.dll"));
    EXPECT_TRUE(dir.exists("WINDOWS/system32/c.dll"));
    // Only the folder itself is redirected, not one whose name merely begins like it.
    fs::create_directories(dir.path() / "WINDOWS" / "system32x");
    ASSERT_TRUE(files.createTextFile(windows() + "\\system32x\\d.dll"));
    EXPECT_TRUE(dir.exists("WINDOWS/system32x/d.dll"));
}

TEST_F(RedirectedFileSystemTest, withoutA32BitSystemNothingIsRedirected) {
    Win32FileSystem native{SystemFolders{(dir.path() / "WINDOWS" / "system32").wstring(), L""}};
    ASSERT_TRUE(native.createTextFile(windows() + "\\system32\\a.txt"));
    EXPECT_TRUE(dir.exists("WINDOWS/system32/a.txt"));
}

TEST(SystemFolders, redirectionAndInterpreterAgree) {
    const auto folders = win32::detectSystemFolders();
    ASSERT_FALSE(folders.system.empty());
    const std::wstring interpreter = win32::commandInterpreter(folders);
    // Files go to SysWOW64 exactly when the scripts that register them run there.
    const std::wstring expectedFolder = folders.wow64.empty() ? folders.system : folders.wow64;
    EXPECT_EQ(interpreter, expectedFolder + L"\\cmd.exe");
    EXPECT_NE(::GetFileAttributesW(interpreter.c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
} // namespace hotfix
