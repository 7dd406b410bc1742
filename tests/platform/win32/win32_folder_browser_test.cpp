#include "platform/platform_services.hpp"
#include "support/temp_dir.hpp"

#include <algorithm>
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace hotfix {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Field;

TEST(Win32FolderBrowser, listsTheLogicalDrivesAndReportsAMissingOneAsError68) {
    auto browser = makeFolderBrowser();
    const auto drives = browser->drives();
    EXPECT_THAT(drives, Contains(Drive{'C', "C:\\"}));
    EXPECT_FALSE(browser->checkDrive('C').has_value());
    EXPECT_FALSE(browser->checkDrive('c').has_value());

    const DWORD present = ::GetLogicalDrives();
    char missing = 0;
    for (char letter = 'Z'; letter >= 'D'; --letter) {
        if ((present & (1u << (letter - 'A'))) == 0) {
            missing = letter;
            break;
        }
    }
    ASSERT_NE(missing, 0);
    EXPECT_THAT(drives, ::testing::Not(Contains(Field(&Drive::letter, missing))));
    const auto error = browser->checkDrive(missing);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number, 68);
    EXPECT_EQ(error->description, "Device unavailable");
}

TEST(Win32FolderBrowser, subfoldersComeInExplorersOrderWithoutFiles) {
    test::TempDir dir;
    for (const char* name : {"b", "A", "folder10", "folder9", "protected"}) {
        std::filesystem::create_directories(dir.path() / name);
    }
    dir.write("file.txt", "not a folder");
    ASSERT_TRUE(::SetFileAttributesW((dir.path() / "protected").c_str(), FILE_ATTRIBUTE_HIDDEN |
                                                                             FILE_ATTRIBUTE_SYSTEM |
                                                                             FILE_ATTRIBUTE_DIRECTORY));
    auto browser = makeFolderBrowser();
    EXPECT_THAT(browser->subfolders(dir.str()), ElementsAre("A", "b", "folder9", "folder10"));
    EXPECT_THAT(browser->subfolders(dir.str() + "\\"), ElementsAre("A", "b", "folder9", "folder10"));
    EXPECT_TRUE(browser->subfolders(dir.str() + "\\missing").empty());
}

TEST(Win32FolderBrowser, currentFolderIsTheProcesssOwn) {
    test::TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const std::string current = makeFolderBrowser()->currentFolder();
    std::filesystem::current_path(previous);
    EXPECT_EQ(current, dir.str());

    std::filesystem::current_path("C:\\");
    EXPECT_EQ(makeFolderBrowser()->currentFolder(), "C:\\");
    std::filesystem::current_path(previous);
}

} // namespace
} // namespace hotfix
