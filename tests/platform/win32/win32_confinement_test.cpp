#include "platform/win32/confined_walk.hpp"
#include "platform/win32/win32_file_system.hpp"
#include "platform/win32/win32_path_resolver.hpp"
#include "platform/win32/win32_test_tools.hpp"
#include "support/temp_dir.hpp"

#include <functional>
#include <optional>
#include <string>
#include <windows.h>

#include <gtest/gtest.h>

namespace hotfix::win32 {
namespace {

bool endsWith(const std::wstring& path, std::wstring_view name) {
    return path.size() >= name.size() &&
           ::CompareStringOrdinal(path.data() + (path.size() - name.size()), static_cast<int>(name.size()),
                                  name.data(), static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

// A product root whose bin folder Wine's own handles say is a junction (Wine makes none), or whose a.dll
// is a symbolic link.
class Win32Confinement : public ::testing::Test {
protected:
    Win32Confinement() {
        dir.write("root/bin/a.dll", "installed");
        dir.write("root/package/a.dll", "package");
        files.confineBelow(std::vector<std::string>{root});
    }

    std::string at(std::string_view relative) const { return root + "\\" + std::string(relative); }

    test::TempDir dir;
    std::string root = dir.str() + "\\root";
    std::wstring linkAt = L"\\bin";
    Win32FileSystem files{detectSystemFolders(), [this](const std::wstring& path) {
                              OpenedItem item = openHeld(path);
                              item.reparsePoint = item.reparsePoint || endsWith(path, linkAt);
                              return item;
                          }};
};

// What a refused call said: for a change its error's words, for a look only that it failed ("" then);
// nothing where it did not fail.
using Refusal = std::optional<std::string>;
Refusal lookFailed(bool failed) {
    return failed ? Refusal("") : std::nullopt;
}
Refusal changeFailed(const FileResult& result) {
    return result ? std::nullopt : Refusal(result.error().text);
}

struct RefusedCall {
    const char* name;
    std::function<Refusal(Win32FileSystem&, const std::function<std::string(std::string_view)>&)> fails;
    bool change = true;
};

class Win32ConfinementRefusal : public Win32Confinement, public ::testing::WithParamInterface<RefusedCall> {};

TEST_P(Win32ConfinementRefusal, aJunctionBelowTheRootFailsTheCallSayingWhyAndChangesNothing) {
    const auto before = test::filesBelow(dir.path());
    const Refusal why = GetParam().fails(files, [this](std::string_view relative) { return at(relative); });
    ASSERT_TRUE(why.has_value());
    if (GetParam().change) {
        EXPECT_NE(why->find("\\bin is a link or junction, which the installer never follows"),
                  std::string::npos)
            << *why;
    }
    EXPECT_EQ(::GetLastError(), 4395u);
    EXPECT_EQ(test::filesBelow(dir.path()), before);
}

using At = std::function<std::string(std::string_view)>;
INSTANTIATE_TEST_SUITE_P(
    Calls, Win32ConfinementRefusal,
    ::testing::Values(
        RefusedCall{"fileExists", [](Win32FileSystem& fs, const At& at) { return lookFailed(!fs.fileExists(at("bin\\a.dll"))); }, false},
        RefusedCall{"attributes", [](Win32FileSystem& fs, const At& at) { return lookFailed(!fs.attributes(at("bin\\a.dll"))); }, false},
        RefusedCall{"identity", [](Win32FileSystem& fs, const At& at) { return lookFailed(!fs.identity(at("bin\\a.dll"))); }, false},
        RefusedCall{"privacy",
                    [](Win32FileSystem& fs, const At& at) {
                        return lookFailed(fs.privacy(at("bin\\a.dll")) == FileSystem::Privacy::Link);
                    },
                    false},
        RefusedCall{"copyInto",
                    [](Win32FileSystem& fs, const At& at) {
                        return changeFailed(fs.copyFileToNew(at("package\\a.dll"), at("bin\\a.dll_new")));
                    }},
        RefusedCall{"copyFrom",
                    [](Win32FileSystem& fs, const At& at) {
                        return changeFailed(fs.copyFileToNew(at("bin\\a.dll"), at("package\\a.dll_old")));
                    }},
        RefusedCall{"link",
                    [](Win32FileSystem& fs, const At& at) {
                        const FileSystem::LinkResult linked = fs.linkFile(at("bin\\a.dll"), at("package\\b.dll"));
                        return linked.outcome == FileSystem::LinkOutcome::Failed ? Refusal(linked.error.text)
                                                                                 : std::nullopt;
                    }},
        RefusedCall{"move",
                    [](Win32FileSystem& fs, const At& at) {
                        return changeFailed(fs.moveFile(at("package\\a.dll"), at("bin\\a.dll"),
                                            FileSystem::Overwrite::Existing));
                    }},
        RefusedCall{"delete", [](Win32FileSystem& fs, const At& at) { return changeFailed(fs.deleteFile(at("bin\\a.dll"))); }},
        RefusedCall{"removeName",
                    [](Win32FileSystem& fs, const At& at) { return changeFailed(fs.removeName(at("bin\\a.dll"))); }},
        RefusedCall{"createText",
                    [](Win32FileSystem& fs, const At& at) { return changeFailed(fs.createTextFile(at("bin\\Register.bat"))); }},
        RefusedCall{"append",
                    [](Win32FileSystem& fs, const At& at) { return changeFailed(fs.appendToFile(at("bin\\a.dll"), "x")); }},
        RefusedCall{"appendDurably",
                    [](Win32FileSystem& fs, const At& at) { return changeFailed(fs.appendDurably(at("bin\\log.txt"), "x\n")); }},
        RefusedCall{"read", [](Win32FileSystem& fs, const At& at) { return lookFailed(!readWholeFile(fs, at("bin\\a.dll"))); }, false},
        RefusedCall{"clearAttributes",
                    [](Win32FileSystem& fs, const At& at) { return changeFailed(fs.clearAttributes(at("bin\\a.dll"))); }},
        RefusedCall{"createFolders",
                    [](Win32FileSystem& fs, const At& at) { return changeFailed(fs.createFolders(at("bin\\sub\\deeper"))); }},
        RefusedCall{"flush",
                    [](Win32FileSystem& fs, const At& at) {
                        const std::string path = at("bin\\a.dll");
                        return changeFailed(fs.flush(std::span<const std::string>(&path, 1)));
                    }}),
    [](const auto& call) { return std::string(call.param.name); });

TEST_F(Win32Confinement, aLinkAtTheLastNameRefusesOnlyTheCallsThatWouldFollowIt) {
    linkAt = L"\\bin\\a.dll";
    const FileResult set = files.setAttributes(at("bin\\a.dll"), FileAttributes{FILE_ATTRIBUTE_READONLY});
    ASSERT_FALSE(set);
    EXPECT_NE(set.error().text.find("a.dll is a link or junction"), std::string::npos) << set.error().text;
    EXPECT_FALSE(files.clearAttributes(at("bin\\a.dll")));
    EXPECT_FALSE(files.copyFileToNew(at("bin\\a.dll"), at("package\\a.dll_old")));
    EXPECT_FALSE(dir.exists("root/package/a.dll_old"));

    // A rename or removal acts on the link itself.
    EXPECT_TRUE(files.fileExists(at("bin\\a.dll")));
    EXPECT_TRUE(files.moveFile(at("bin\\a.dll"), at("bin\\b.dll"), FileSystem::Overwrite::Never));
    EXPECT_TRUE(files.deleteFile(at("bin\\b.dll")));
}

TEST_F(Win32Confinement, ordinaryFoldersPassAndNothingStaysHeldBetweenCalls) {
    linkAt = L"\\none";
    const std::wstring bin = test::longForm(dir.path() / "root" / "bin");
    const std::wstring moved = test::longForm(dir.path() / "root" / "moved");
    const FileSystemRun run(files);
    ASSERT_TRUE(files.copyFileToNew(at("bin\\a.dll"), at("bin\\a.dll_backup")));
    ASSERT_TRUE(files.moveFile(at("package\\a.dll"), at("bin\\a.dll"), FileSystem::Overwrite::Existing));
    EXPECT_EQ(readWholeFile(files, at("bin\\a.dll")), "package");
    EXPECT_TRUE(files.createFolders(at("bin\\sub\\deeper")));
    EXPECT_TRUE(files.appendDurably(at("bin\\sub\\deeper\\log.txt"), "line\n"));
    // The package's folder may go away during a run, as the engine expects of it.
    EXPECT_TRUE(::MoveFileExW(bin.c_str(), moved.c_str(), 0));
    EXPECT_EQ(dir.read("root/moved/a.dll_backup"), "installed");
}

} // namespace
} // namespace hotfix::win32
