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
    FileResult setAttributes(std::string_view path, FileAttributes attributes) override;
    FileResult clearAttributes(std::string_view path) override;
    FileResult copyFileToNew(std::string_view from, std::string_view to) override;
    LinkResult linkFile(std::string_view existing, std::string_view newName) override;
    FileResult moveFile(std::string_view from, std::string_view to, Overwrite overwrite) override;
    FileResult flush(std::span<const std::string> paths) override;
    FileResult flushNames(std::span<const std::string> paths) override;
    FileResult deleteFile(std::string_view path) override;
    FileResult removeName(std::string_view path) override;
    FileResult createTextFile(std::string_view path) override;
    FileResult appendToFile(std::string_view path, std::string_view bytes) override;
    bool readFile(std::string_view path, const std::function<void(std::span<const char>)>& sink) override;
    std::optional<bool> sameBytes(std::string_view first, std::string_view second,
                                  ByteSink& firstSink) override;
    FileResult createFolders(std::string_view path) override;
    FileResult appendDurably(std::string_view path, std::string_view bytes) override;
    Privacy makePrivateFolder(std::string_view path) override;
    Privacy privacy(std::string_view path) override;
    std::optional<std::string> identity(std::string_view path) override;
    void confineBelow(std::span<const std::string> roots) override;

private:
    // Done where it succeeded, else the error GetLastError() gives.
    static FileResult resultOf(bool succeeded);
    static FileError lastWindowsError();
    // The error with Windows' message for it.
    static FileError windowsError(unsigned long code);
    // The folders that hold the path below its root (and its last name, with Reach::LastName), held for as
    // long as the result lives; where it fails Windows' error is set, and refusal() says why.
    ConfinedWalk::Held confined(const std::optional<std::wstring>& native, Reach reach);
    static FileError refusal(const ConfinedWalk::Held& held);
    // Refuses the call on a file that, opened by its own name, is a link: sets Windows' error and says why.
    static FileError linkRefusal(const std::wstring& native);
    // What a refused walk tells of the privacy of the path it was for.
    static Privacy privacyOfRefusal(const ConfinedWalk::Held& held);

    Win32PathResolver m_paths;
    ConfinedWalk m_walk;
};

} // namespace hotfix::win32
