#include "platform/win32/confined_walk.hpp"
#include "platform/win32/win32_test_tools.hpp"
#include "support/temp_dir.hpp"

#include <algorithm>
#include <string>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>

namespace hotfix::win32 {
namespace {

const std::wstring kRoot = L"C:\\Program Files\\Vantrel";
const std::wstring kBin = kRoot + L"\\bin";
const std::wstring kX64 = kBin + L"\\x64";
const std::wstring kFile = kX64 + L"\\a.dll";

// Records what the walk opens and hands out holds it can count; reports a link, or a failure, at one path.
class FakeOpener {
public:
    std::wstring linkAt;
    std::wstring missingAt;
    std::vector<std::wstring> opened;

    ItemOpener opener() {
        return [this](const std::wstring& path) {
            opened.push_back(path);
            if (path == missingAt) {
                return OpenedItem{nullptr, false, ERROR_PATH_NOT_FOUND};
            }
            auto hold = std::make_shared<int>(0);
            m_holds.push_back(hold);
            return OpenedItem{hold, path == linkAt, ERROR_SUCCESS};
        };
    }
    std::size_t stillHeld() const {
        return static_cast<std::size_t>(
            std::count_if(m_holds.begin(), m_holds.end(), [](const auto& hold) { return !hold.expired(); }));
    }

private:
    std::vector<std::weak_ptr<void>> m_holds;
};

class ConfinedWalkTest : public ::testing::Test {
protected:
    ConfinedWalkTest() { walk.confineBelow({kRoot + L"\\"}); }

    FakeOpener fake;
    ConfinedWalk walk{fake.opener()};
};

TEST_F(ConfinedWalkTest, opensEachFolderBelowTheRootDownToTheLastNameAndThatOnlyWhenAsked) {
    {
        const auto held = walk.hold(kFile, Reach::Folders);
        EXPECT_TRUE(held);
        EXPECT_EQ(fake.opened, (std::vector<std::wstring>{kBin, kX64}));
        EXPECT_EQ(fake.stillHeld(), 2u);
    }
    EXPECT_EQ(fake.stillHeld(), 0u);
    fake.opened.clear();
    EXPECT_TRUE(walk.hold(kFile + L"\\", Reach::LastName));
    EXPECT_EQ(fake.opened, (std::vector<std::wstring>{kBin, kX64, kFile}));

    // The root is taken as its path leads.
    fake.opened.clear();
    EXPECT_TRUE(walk.hold(kRoot, Reach::LastName));
    EXPECT_TRUE(walk.hold(kRoot + L"\\Register.bat", Reach::Folders));
    EXPECT_TRUE(fake.opened.empty());
}

TEST_F(ConfinedWalkTest, theDeepestRootCountsWhateverTheCaseAndTheLongForm) {
    walk.confineBelow({L"C:\\Data", L"c:\\data\\Records", L"\\\\server\\share\\hotfix"});
    EXPECT_TRUE(walk.hold(L"\\\\?\\C:\\DATA\\RECORDS\\run\\f.txt", Reach::Folders));
    EXPECT_TRUE(walk.hold(L"\\\\?\\UNC\\Server\\share\\hotfix\\bin\\a.dll", Reach::Folders));
    EXPECT_EQ(fake.opened, (std::vector<std::wstring>{L"\\\\?\\C:\\DATA\\RECORDS\\run",
                                                      L"\\\\?\\UNC\\Server\\share\\hotfix\\bin"}));
}

TEST_F(ConfinedWalkTest, pathsOutsideEveryRootAreNotWalked) {
    for (const wchar_t* outside : {L"C:\\Program Files\\Vantrel2\\bin\\a.dll", L"C:\\Program Files\\a.dll",
                                   L"D:\\Program Files\\Vantrel\\bin\\a.dll"}) {
        EXPECT_TRUE(walk.hold(outside, Reach::LastName));
    }
    ConfinedWalk unconfined(fake.opener());
    EXPECT_TRUE(unconfined.hold(kFile, Reach::LastName));
    EXPECT_TRUE(fake.opened.empty());
}

struct Refusal {
    const wchar_t* linkAt = L"";
    const wchar_t* missingAt = L"";
    Reach reach = Reach::Folders;
    ConfinedWalk::Held::Outcome outcome = ConfinedWalk::Held::Outcome::Passed;
    std::size_t opened = 0;
};

class ConfinedWalkRefusal : public ConfinedWalkTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ConfinedWalkRefusal, stopsAtTheFirstLinkOrMissingFolderAndLetsEveryHoldGo) {
    const Refusal& refusal = GetParam();
    fake.linkAt = refusal.linkAt;
    fake.missingAt = refusal.missingAt;
    const auto held = walk.hold(kFile, refusal.reach);
    EXPECT_EQ(held.outcome, refusal.outcome);
    EXPECT_EQ(fake.opened.size(), refusal.opened);
    if (held) {
        return;
    }
    EXPECT_EQ(held.at, fake.opened.back());
    EXPECT_EQ(held.error, fake.missingAt.empty() ? 0u : static_cast<unsigned long>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(fake.stillHeld(), 0u);
}

using Outcome = ConfinedWalk::Held::Outcome;
INSTANTIATE_TEST_SUITE_P(
    Levels, ConfinedWalkRefusal,
    ::testing::Values(
        Refusal{.linkAt = L"C:\\Program Files\\Vantrel\\bin", .outcome = Outcome::Link, .opened = 1},
        Refusal{.linkAt = L"C:\\Program Files\\Vantrel\\bin\\x64", .outcome = Outcome::Link, .opened = 2},
        Refusal{.linkAt = L"C:\\Program Files\\Vantrel\\bin\\x64\\a.dll",
                .reach = Reach::LastName,
                .outcome = Outcome::Link,
                .opened = 3},
        // The calls that do not follow a link at the last name may act on one.
        Refusal{.linkAt = L"C:\\Program Files\\Vantrel\\bin\\x64\\a.dll", .opened = 2},
        Refusal{.missingAt = L"C:\\Program Files\\Vantrel\\bin",
                .reach = Reach::LastName,
                .outcome = Outcome::Failed,
                .opened = 1}));

TEST_F(ConfinedWalkTest, newRootsReplaceTheOldOnesAndALinkIsLookedForAfreshEachTime) {
    walk.confineBelow({kBin});
    fake.linkAt = kX64;
    EXPECT_FALSE(walk.hold(kFile, Reach::Folders));
    fake.linkAt.clear();
    EXPECT_TRUE(walk.hold(kFile, Reach::Folders));
    EXPECT_EQ(fake.opened, (std::vector<std::wstring>{kX64, kX64}));
}

// Wine's own handles: an ordinary chain of folders passes, and what is held cannot be renamed or removed,
// while the files in a held folder can.
TEST(ConfinedWalkOnDisk, heldFoldersAndFilesCannotBeRenamedOrRemovedUntilLetGo) {
    const test::TempDir dir;
    dir.write("root/bin/x64/a.dll", "a");
    const std::wstring root = test::longForm(dir.path() / "root");
    ConfinedWalk walk(openHeld);
    walk.confineBelow({root});
    auto held = walk.hold(root + L"\\bin\\x64\\a.dll", Reach::LastName);
    ASSERT_TRUE(held);
    EXPECT_EQ(held.holds.size(), 3u);

    const auto renamed = [&](const std::wstring& from, const std::wstring& to) {
        return ::MoveFileExW((root + from).c_str(), (root + to).c_str(), 0) != 0;
    };
    EXPECT_FALSE(renamed(L"\\bin", L"\\moved"));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(renamed(L"\\bin\\x64", L"\\bin\\x86"));
    EXPECT_FALSE(renamed(L"\\bin\\x64\\a.dll", L"\\bin\\x64\\b.dll"));
    EXPECT_FALSE(::DeleteFileW((root + L"\\bin\\x64\\a.dll").c_str()));
    EXPECT_FALSE(::RemoveDirectoryW((root + L"\\bin\\x64").c_str()));

    held = walk.hold(root + L"\\bin\\x64\\a.dll", Reach::Folders);
    ASSERT_TRUE(held);
    EXPECT_TRUE(renamed(L"\\bin\\x64\\a.dll", L"\\bin\\x64\\b.dll"));
    held = {};
    EXPECT_TRUE(renamed(L"\\bin", L"\\moved"));

    EXPECT_EQ(walk.hold(root + L"\\bin\\x64\\b.dll", Reach::Folders).outcome, Outcome::Failed);
}

} // namespace
} // namespace hotfix::win32
