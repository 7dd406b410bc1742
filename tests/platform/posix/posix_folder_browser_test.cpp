#include "platform/posix/posix_folder_browser.hpp"
#include "platform/posix/scoped_environment.hpp"
#include "platform/posix/wine_prefix.hpp"
#include "support/temp_dir.hpp"

#include <cstdlib>
#include <unistd.h>

#include <gtest/gtest.h>

namespace hotfix::posix {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// A prefix with drive C: on drive_c, D: on a folder outside it, E: pointing nowhere and Z: on "/".
class PrefixTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.path() / "prefix/dosdevices");
        fs::create_directories(dir.path() / "prefix/drive_c/windows");
        fs::create_directories(dir.path() / "data/sub");
        fs::create_directory_symlink("../drive_c", devices() / "c:");
        fs::create_directory_symlink(dir.path() / "data", devices() / "d:");
        fs::create_directory_symlink(dir.path() / "gone", devices() / "e:");
        fs::create_directory_symlink("/", devices() / "z:");
        fs::create_symlink("/dev/null", devices() / "c::");
        fs::create_symlink("/dev/null", devices() / "com1");
    }

    fs::path devices() const { return dir.path() / "prefix/dosdevices"; }

    TempDir dir;
    WinePrefix prefix{dir.str() + "/prefix"};
};

TEST_F(PrefixTest, everyDriveLinkIsADriveDanglingOnesIncluded) {
    std::string letters;
    for (const auto& drive : prefix.drives()) {
        letters.push_back(drive.letter);
    }
    EXPECT_EQ(letters, "CDEZ");
    PosixFolderBrowser browser(prefix);
    const auto drives = browser.drives();
    ASSERT_EQ(drives.size(), 4u);
    EXPECT_EQ(drives.front(), (Drive{'C', "C:\\"}));
}

TEST_F(PrefixTest, unavailableDrivesReportError68) {
    PosixFolderBrowser browser(prefix);
    EXPECT_FALSE(browser.checkDrive('c').has_value());
    EXPECT_FALSE(browser.checkDrive('D').has_value());
    for (const char letter : {'E', 'Q'}) {
        const auto error = browser.checkDrive(letter);
        ASSERT_TRUE(error.has_value()) << letter;
        EXPECT_EQ(error->number, 68);
        EXPECT_EQ(error->description, "Device unavailable");
    }
}

TEST_F(PrefixTest, nativePathsGetTheNameWineGivesThem) {
    const std::string c = dir.str() + "/prefix/drive_c";
    EXPECT_EQ(prefix.windowsPath(c), "C:\\");
    EXPECT_EQ(prefix.windowsPath(c + "/windows/system32/a.dll"), "C:\\windows\\system32\\a.dll");
    EXPECT_EQ(prefix.windowsPath(dir.str() + "/data/sub"), "D:\\sub");
    // Z: holds everything else; through a link, the link's target counts.
    EXPECT_EQ(prefix.windowsPath("/usr/bin"), "Z:\\usr\\bin");
    EXPECT_EQ(prefix.windowsPath(dir.str() + "/prefix/dosdevices/c:/windows"), "C:\\windows");
    fs::remove(devices() / "z:");
    EXPECT_EQ(prefix.windowsPath("/usr/bin"), std::nullopt);
}

TEST_F(PrefixTest, subfoldersAreSortedIgnoringCaseWithoutHiddenOnes) {
    for (const char* name : {"windows/system32", "windows/Fonts", "windows/.hidden", "windows/apps"}) {
        fs::create_directories(dir.path() / "prefix/drive_c" / name);
    }
    dir.write("prefix/drive_c/windows/file.txt", "not a folder");
    PosixFolderBrowser browser(prefix);
    EXPECT_EQ(browser.subfolders("C:\\WINDOWS"), (std::vector<std::string>{"apps", "Fonts", "system32"}));
    EXPECT_EQ(browser.subfolders("C:"), (std::vector<std::string>{"windows"}));
    EXPECT_TRUE(browser.subfolders("C:\\missing").empty());
    EXPECT_TRUE(browser.subfolders("Q:\\").empty());
}

TEST_F(PrefixTest, currentFolderIsNamedThroughItsDrive) {
    const fs::path before = fs::current_path();
    PosixFolderBrowser browser(prefix);
    fs::current_path(dir.path() / "prefix/drive_c/windows");
    const std::string inC = browser.currentFolder();
    fs::current_path(dir.path() / "prefix/drive_c");
    const std::string cRoot = browser.currentFolder();
    fs::current_path("/");
    const std::string zRoot = browser.currentFolder();
    fs::current_path(before);
    EXPECT_EQ(inC, "C:\\windows");
    EXPECT_EQ(cRoot, "C:\\");
    EXPECT_EQ(zRoot, "Z:\\");
}

TEST_F(PrefixTest, withoutAPrefixTheOnlyDriveIsZOnTheRootFolder) {
    const WinePrefix missing(dir.str() + "/no-prefix");
    EXPECT_FALSE(missing.exists());
    ASSERT_EQ(missing.drives().size(), 1u);
    EXPECT_EQ(missing.drives().front().letter, 'Z');
    EXPECT_EQ(missing.driveFolder('z'), "/");
    EXPECT_EQ(missing.driveFolder('C'), std::nullopt);
    EXPECT_EQ(missing.windowsPath("/usr/bin"), "Z:\\usr\\bin");
    EXPECT_TRUE(prefix.exists());
}

TEST(WinePrefixLocation, followsWineprefixThenHome) {
    const char* savedPrefix = std::getenv("WINEPREFIX");
    const std::string saved = savedPrefix != nullptr ? savedPrefix : "";
    ::setenv("WINEPREFIX", "/opt/prefixes/one/", 1);
    EXPECT_EQ(WinePrefix::fromEnvironment().folder(), "/opt/prefixes/one");
    ::unsetenv("WINEPREFIX");
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        EXPECT_EQ(WinePrefix::fromEnvironment().folder(), std::string(home) + "/.wine");
    }
    if (savedPrefix != nullptr) {
        ::setenv("WINEPREFIX", saved.c_str(), 1);
    }
}

// The locale Wine takes from the Unix one, and the code pages Windows gives it; cmd reads scripts in the OEM
// one. The last column is what setlocale(LC_CTYPE) reports: "C" when the C library lacks the locale.
TEST(WineCodePages, followTheLocaleWineDerivesFromTheEnvironment) {
    struct Row {
        std::string_view lcAll;
        std::string_view unixCtype;
        std::string_view locale;
        CodePages pages;
    };
    const Row rows[] = {
        {"", "C", "", {1252, 437}},
        {"", "POSIX", "en-US", {1252, 437}},
        {"", "C.UTF-8", "C", {1252, 437}},
        {"", "en_US.UTF-8", "en-US", {1252, 437}},
        {"", "en_GB.UTF-8", "en-GB", {1252, 850}},
        {"", "de_DE.UTF-8@euro", "de-DE", {1252, 850}},
        {"", "pl_PL.UTF-8", "pl-PL", {1250, 852}},
        {"", "sr_RS@latin", "sr-Latn-RS", {1250, 852}},
        {"", "sr_RS", "sr-RS", {1251, 855}},
        {"", "ru_RU.KOI8-R", "ru-RU", {1251, 866}},
        {"", "ja_JP.UTF-8", "ja-JP", {932, 932}},
        {"", "zh_TW.UTF-8", "zh-TW", {950, 950}},
        {"", "en_US@nonsense", "", {1252, 437}},
        // A locale the C library lacks: Wine reads LC_ALL itself.
        {"ru_RU.UTF-8", "C", "ru-RU", {1251, 866}},
        {"el_GR.UTF-8", "el_GR.UTF-8", "el-GR", {1253, 737}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.lcAll) + " / " + std::string(row.unixCtype));
        const std::string locale = wineSystemLocale(row.lcAll, row.unixCtype);
        EXPECT_EQ(locale, row.locale);
        EXPECT_EQ(codePagesOfLocale(locale), row.pages);
    }
}

// What this process's environment gives, through the same rules, for a locale that no C library has.
TEST(WineCodePages, prefixReadsTheInstallersEnvironment) {
    const test::ScopedEnvironment turkish("LC_ALL", "tr_TR.NO-SUCH-CHARSET");
    EXPECT_EQ(WinePrefix().codePages(), (CodePages{1254, 857}));
}

} // namespace
} // namespace hotfix::posix
