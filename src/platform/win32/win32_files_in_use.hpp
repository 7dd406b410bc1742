#pragma once

#include "platform/files_in_use.hpp"
#include "platform/win32/win32_path_resolver.hpp"

#include <optional>

namespace hotfix::win32 {

// One rename the session manager carries out at the system's next start, as PendingFileRenameOperations
// keeps it: NT paths ("\??\C:\..."), the target marked "!" where it may be replaced, empty for a removal.
struct PendingRename {
    std::wstring from;
    std::wstring to;
};
std::vector<PendingRename> parsePendingRenames(std::wstring_view multiString);
std::wstring joinPendingRenames(const std::vector<PendingRename>& renames);
// The Win32 path an entry's NT path names ("C:\..."), without the "!" and "\??\" in front.
std::wstring win32PathOfPending(std::wstring_view ntPath);
// Every rename the session manager will carry out at the next start, from both of its lists.
std::vector<PendingRename> pendingRenames();

// Holders through the Restart Manager; renames at restart through MoveFileExW and the session manager's
// list; commands after restart through the machine's RunOnce key.
class Win32FilesInUse final : public FilesInUse {
public:
    explicit Win32FilesInUse(SystemFolders folders);
    Win32FilesInUse(const Win32FilesInUse&) = delete;
    Win32FilesInUse& operator=(const Win32FilesInUse&) = delete;
    ~Win32FilesInUse() override;

    std::vector<Holder> holders(std::span<const std::string> paths) override;
    std::vector<std::string> heldFiles(std::span<const std::string> paths) override;
    bool closeHolders(std::span<const std::string> paths) override;
    bool restartClosed() override;
    Queued replaceAtRestart(std::string_view from, std::string_view to) override;
    bool cancelAtRestart(std::string_view from) override;
    std::optional<std::string> replacementWaiting(std::string_view to) override;
    bool runAfterRestart(std::string_view name, std::string_view commandLine) override;
    bool cancelRunAfterRestart(std::string_view name) override;

private:
    // A Restart Manager session with the files registered; nothing where the manager refused.
    std::optional<unsigned long> startSession(std::span<const std::string> paths);
    std::optional<std::wstring> fullPath(std::string_view path) const;
    bool waitsForRestartFrom(const std::wstring& source);

    Win32PathResolver m_paths;
    // The session whose programs closeHolders closed, until restartClosed.
    std::optional<unsigned long> m_closing;
};

} // namespace hotfix::win32
