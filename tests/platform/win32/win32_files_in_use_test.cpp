#include "platform/platform_services.hpp"
#include "platform/win32/win32_files_in_use.hpp"
#include "support/temp_dir.hpp"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

// Files a running program holds, against the real Windows calls (Wine's in CI, whose server keeps the same
// sharing rules; its Restart Manager finds no holders, so holders() is only run, not checked, there).
namespace hotfix {
namespace {

using test::TempDir;
using ::testing::IsEmpty;

std::string winPath(const TempDir& dir, std::string_view relative) {
    return dir.str() + "\\" + std::string(relative);
}

// Holds a file as a program does that opened it without letting others write or remove it.
class HeldOpen {
public:
    explicit HeldOpen(const std::filesystem::path& path)
        : m_file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr)) {}
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    ~HeldOpen() { release(); }
    bool valid() const { return m_file != INVALID_HANDLE_VALUE; }
    void release() {
        if (valid()) {
            ::CloseHandle(m_file);
            m_file = INVALID_HANDLE_VALUE;
        }
    }

private:
    HANDLE m_file;
};

TEST(Win32HeldFiles, aHeldFileIsNeverOpenedForWritingAndItsReplacementFailsAsInUse) {
    TempDir dir;
    dir.write("lib.dll", "original");
    dir.write("new.tmp", "new");
    dir.write("other.dll", "other");
    const auto files = makeFileSystem();
    HeldOpen held(dir.path() / "lib.dll");
    ASSERT_TRUE(held.valid());
    ASSERT_EQ(files->linkFile(winPath(dir, "lib.dll"), winPath(dir, "lib.dll_hf7")),
              FileSystem::LinkResult::Linked);

    // Its backup name, and the held file itself, are made durable without writing to it.
    const std::vector<std::string> paths{winPath(dir, "new.tmp"), winPath(dir, "lib.dll_hf7"),
                                         winPath(dir, "lib.dll")};
    EXPECT_TRUE(files->flush(paths)) << files->lastError();

    EXPECT_FALSE(
        files->moveFile(winPath(dir, "new.tmp"), winPath(dir, "lib.dll"), FileSystem::Overwrite::Existing));
    EXPECT_TRUE(files->lastFailureInUse());
    EXPECT_EQ(dir.read("lib.dll"), "original");
    // A failure of another kind is not "in use".
    EXPECT_FALSE(files->moveFile(winPath(dir, "missing.tmp"), winPath(dir, "other.dll"),
                                 FileSystem::Overwrite::Existing));
    EXPECT_FALSE(files->lastFailureInUse());

    held.release();
    EXPECT_TRUE(
        files->moveFile(winPath(dir, "new.tmp"), winPath(dir, "lib.dll"), FileSystem::Overwrite::Existing));
    EXPECT_EQ(dir.read("lib.dll"), "new");
    EXPECT_EQ(dir.read("lib.dll_hf7"), "original");
}

TEST(Win32HeldFiles, aRenameAtRestartIsQueuedFoundAndTakenBackWithoutTouchingOthers) {
    TempDir dir;
    dir.write("lib.dll", "original");
    dir.write("new.tmp", "new");
    dir.write("other.tmp", "other");
    const auto inUse = makeFilesInUse();
    // Someone else's entry stays.
    ASSERT_TRUE(::MoveFileExW((dir.path() / "other.tmp").c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));

    ASSERT_EQ(inUse->replaceAtRestart(winPath(dir, "new.tmp"), winPath(dir, "lib.dll")),
              FilesInUse::Queued::Queued);
    EXPECT_TRUE(inUse->waitsForRestart(winPath(dir, "lib.dll")));
    EXPECT_TRUE(inUse->waitsForRestart(dir.str() + "\\LIB.DLL"));
    EXPECT_FALSE(inUse->waitsForRestart(winPath(dir, "new.tmp")));
    // Nothing changes before the restart.
    EXPECT_EQ(dir.read("lib.dll"), "original");

    EXPECT_TRUE(inUse->cancelAtRestart(winPath(dir, "new.tmp")));
    EXPECT_FALSE(inUse->waitsForRestart(winPath(dir, "lib.dll")));
    EXPECT_TRUE(inUse->cancelAtRestart(winPath(dir, "new.tmp")));
    // The other entry is still there, whole; taking it back leaves the list as it was.
    EXPECT_TRUE(inUse->cancelAtRestart(winPath(dir, "missing.tmp")));
    EXPECT_TRUE(inUse->cancelAtRestart(winPath(dir, "other.tmp")));

    EXPECT_TRUE(inUse->runAfterRestart("HotFix Installer test", "regsvr32.exe /s \"C:\\x.dll\""));
    EXPECT_TRUE(inUse->cancelRunAfterRestart("HotFix Installer test"));
    EXPECT_TRUE(inUse->cancelRunAfterRestart("HotFix Installer test"));

    // Wine's Restart Manager names nobody; the call must still come back.
    const std::vector<std::string> paths{winPath(dir, "lib.dll")};
    EXPECT_THAT(inUse->holders(paths), IsEmpty());
}

TEST(Win32PendingRenames, theSessionManagersListIsReadAndWrittenPairByPair) {
    using win32::PendingRename;
    std::wstring value;
    for (const std::wstring_view each :
         {L"\\??\\C:\\a.tmp", L"!\\??\\C:\\a.dll", L"\\??\\C:\\gone.txt", L"", L""}) {
        value += each;
        value += L'\0';
    }
    const std::vector<PendingRename> renames = win32::parsePendingRenames(value);
    ASSERT_EQ(renames.size(), 2u);
    EXPECT_EQ(renames[0].to, L"!\\??\\C:\\a.dll");
    EXPECT_EQ(win32::win32PathOfPending(renames[0].to), L"C:\\a.dll");
    // A removal keeps its empty target.
    EXPECT_EQ(renames[1].from, L"\\??\\C:\\gone.txt");
    EXPECT_TRUE(renames[1].to.empty());
    EXPECT_EQ(win32::joinPendingRenames(renames), value);
}

} // namespace
} // namespace hotfix
