#include "platform/platform_services.hpp"
#include "platform/win32/win32_files_in_use.hpp"
#include "support/temp_dir.hpp"

#include <algorithm>
#include <cwctype>
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

// Files a running program holds, against the real Windows calls (Wine's in CI, whose server keeps the same
// sharing rules; its Restart Manager finds no holders, so holders() is only run, not checked, there).
namespace hotfix {
namespace {

using test::TempDir;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::IsEmpty;
using ::testing::Not;

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
    ASSERT_EQ(files->linkFile(winPath(dir, "lib.dll"), winPath(dir, "lib.dll_hf7")).outcome,
              FileSystem::LinkOutcome::Linked);

    // Its backup name, and the held file itself, are made durable without writing to it.
    const std::vector<std::string> paths{winPath(dir, "new.tmp"), winPath(dir, "lib.dll_hf7"),
                                         winPath(dir, "lib.dll")};
    const FileResult flushed = files->flush(paths);
    EXPECT_TRUE(flushed) << flushed.reason();

    const FileResult replaced =
        files->moveFile(winPath(dir, "new.tmp"), winPath(dir, "lib.dll"), FileSystem::Overwrite::Existing);
    ASSERT_FALSE(replaced);
    EXPECT_TRUE(replaced.error().inUse);
    EXPECT_EQ(dir.read("lib.dll"), "original");
    // A failure of another kind is not "in use".
    const FileResult missing = files->moveFile(winPath(dir, "missing.tmp"), winPath(dir, "other.dll"),
                                               FileSystem::Overwrite::Existing);
    ASSERT_FALSE(missing);
    EXPECT_FALSE(missing.error().inUse);

    held.release();
    EXPECT_TRUE(
        files->moveFile(winPath(dir, "new.tmp"), winPath(dir, "lib.dll"), FileSystem::Overwrite::Existing));
    EXPECT_EQ(dir.read("lib.dll"), "new");
    EXPECT_EQ(dir.read("lib.dll_hf7"), "original");
}

std::wstring lowered(std::wstring path) {
    std::transform(path.begin(), path.end(), path.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))); });
    return path;
}

// Where the renames queued for the next start go, as Windows paths in lower case ("" for a removal).
std::vector<std::wstring> queuedTargets() {
    std::vector<std::wstring> targets;
    for (const win32::PendingRename& each : win32::pendingRenames()) {
        targets.push_back(lowered(win32::win32PathOfPending(each.to)));
    }
    return targets;
}

TEST(Win32HeldFiles, aRenameAtRestartIsQueuedAndTakenBackWithoutTouchingOthers) {
    TempDir dir;
    for (const char* name : {"lib.dll", "new.tmp", "gone.tmp", "other.tmp"}) {
        dir.write(name, name);
    }
    const auto lower = [&](const char* name) {
        return lowered((dir.path() / name).wstring());
    };
    const auto inUse = makeFilesInUse();
    // Other programs' entries, a removal before a rename, stay as they are.
    ASSERT_TRUE(::MoveFileExW((dir.path() / "gone.tmp").c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(::MoveFileExW((dir.path() / "other.tmp").c_str(), (dir.path() / "other.dll").c_str(),
                              MOVEFILE_DELAY_UNTIL_REBOOT));

    ASSERT_EQ(inUse->replaceAtRestart(winPath(dir, "new.tmp"), winPath(dir, "lib.dll")),
              FilesInUse::Queued::Queued);
    EXPECT_THAT(queuedTargets(), Contains(lower("lib.dll")));
    // Nothing changes before the restart.
    EXPECT_EQ(dir.read("lib.dll"), "lib.dll");

    // Taken back by its source, spelled in any case; again, or for a name never queued, there is nothing to
    // do.
    EXPECT_TRUE(inUse->cancelAtRestart(dir.str() + "\\NEW.TMP"));
    EXPECT_THAT(queuedTargets(), AllOf(Not(Contains(lower("lib.dll"))), Contains(lower("other.dll"))));
    EXPECT_TRUE(inUse->cancelAtRestart(winPath(dir, "new.tmp")));
    EXPECT_TRUE(inUse->cancelAtRestart(winPath(dir, "missing.tmp")));
    EXPECT_TRUE(inUse->cancelAtRestart(winPath(dir, "other.tmp")));
    EXPECT_TRUE(inUse->cancelAtRestart(winPath(dir, "gone.tmp")));

    EXPECT_TRUE(inUse->runAfterRestart("HotFix Installer test", "regsvr32.exe /s \"C:\\x.dll\""));
    EXPECT_TRUE(inUse->cancelRunAfterRestart("HotFix Installer test"));
    EXPECT_TRUE(inUse->cancelRunAfterRestart("HotFix Installer test"));

    // Wine's Restart Manager names nobody; the call must still come back.
    const std::vector<std::string> paths{winPath(dir, "lib.dll")};
    EXPECT_THAT(inUse->holders(paths), IsEmpty());
}

} // namespace
} // namespace hotfix
