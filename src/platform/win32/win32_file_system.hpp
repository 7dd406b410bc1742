#pragma once

#include "platform/file_system.hpp"
#include "platform/win32/confined_walk.hpp"
#include "platform/win32/win32_path_resolver.hpp"

#include <optional>
#include <string>

namespace hotfix::win32 {

// The installer's file work through the wide Windows file calls. Paths are mapped by Win32PathResolver; 8-bit
// files are read in the ANSI code page (UTF-8 kept as it is) and scripts written in the OEM code page,
// which is the one cmd reads batch files in, exactly: without best fit, so that no character turns into
// another one that cmd would act on.
//
// Below the roots a run names (confineBelow) every folder from the root down to the one that holds a path's
// last name is opened by its own name and held while a call acts on the path (ConfinedWalk): a link or
// junction there refuses the call, and none can be swapped in meanwhile. So is the last name itself for the
// calls that would follow a link there. Nothing stays held between calls: a folder a run is done with, or
// the package's, may still be renamed or removed by others meanwhile, as the engine expects.
class Win32FileSystem final : public FileSystem {
public:
    explicit Win32FileSystem(SystemFolders folders);
    // Opening the items below the roots with open instead of openHeld.
    Win32FileSystem(SystemFolders folders, ItemOpener open);

    bool fileExists(std::string_view path) override;
    bool folderExists(std::string_view path) override;
    std::optional<std::vector<std::string>> subfolderNames(std::string_view path) override;
    bool sameFile(std::string_view first, std::string_view second) override;
    std::optional<FileAttributes> attributes(std::string_view path) override;
    bool setAttributes(std::string_view path, FileAttributes attributes) override;
    bool clearAttributes(std::string_view path) override;
    bool copyFileToNew(std::string_view from, std::string_view to) override;
    LinkResult linkFile(std::string_view existing, std::string_view newName) override;
    bool moveFile(std::string_view from, std::string_view to, Overwrite overwrite) override;
    bool flush(std::span<const std::string> paths) override;
    bool flushNames(std::span<const std::string> paths) override;
    bool deleteFile(std::string_view path) override;
    bool removeName(std::string_view path) override;
    bool createTextFile(std::string_view path) override;
    bool appendToFile(std::string_view path, std::string_view bytes) override;
    bool readFile(std::string_view path, const std::function<void(std::span<const char>)>& sink) override;
    std::optional<bool> sameBytes(std::string_view first, std::string_view second,
                                  ByteSink& firstSink) override;
    bool createFolders(std::string_view path) override;
    bool appendDurably(std::string_view path, std::string_view bytes) override;
    Privacy makePrivateFolder(std::string_view path) override;
    Privacy privacy(std::string_view path) override;
    std::string lastError() const override { return m_lastError; }
    bool lastFailureInUse() const override { return m_inUse; }
    std::optional<std::string> identity(std::string_view path) override;
    void confineBelow(std::span<const std::string> roots) override;

private:
    // Notes Windows' message for GetLastError() for lastError() where the call did not succeed; passes the
    // outcome on.
    bool noted(bool succeeded);
    // The folders that hold the path below its root (and its last name, with Reach::LastName), held for as
    // long as the result lives; where it fails Windows' error is set and lastError() says why.
    ConfinedWalk::Held confined(const std::optional<std::wstring>& native, Reach reach);
    // Refuses the call on a file that, opened by its own name, is a link: sets the error and the reason.
    bool refusedLink(const std::wstring& native);
    // What a refused walk tells of the privacy of the path it was for.
    static Privacy privacyOfRefusal(const ConfinedWalk::Held& held);

    Win32PathResolver m_paths;
    std::string m_lastError;
    bool m_inUse = false;
    ConfinedWalk m_walk;
};

} // namespace hotfix::win32
