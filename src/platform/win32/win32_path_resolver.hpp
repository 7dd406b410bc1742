#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hotfix::win32 {

// Where Windows keeps its programs. wow64 is the 32-bit system folder (SysWOW64), empty where this process
// has no 32-bit subsystem beside it to be compatible with.
struct SystemFolders {
    std::wstring system;
    std::wstring wow64;
};

// The folders of the running Windows. The 32-bit folder counts only when it holds its own cmd.exe: files
// are sent there only when the scripts that register them can run there too.
SystemFolders detectSystemFolders();

// "/" and "\" both separate and a run of them is one "\"; a leading "\\" (a network path) stays.
std::wstring collapseSeparators(std::wstring_view path);

// The command interpreter that runs registration scripts: the 32-bit one where files go to SysWOW64.
std::wstring commandInterpreter(const SystemFolders& folders);

// A full path in the "\\?\" form, which lifts the length limit ("\\?\UNC\server\share" for a network path).
std::wstring withLongPrefix(std::wstring_view fullPath);
// A path as Windows hands it out, without that form, for showing it or for a program's command line.
std::wstring withoutLongPrefix(std::wstring path);

// Turns the engine's UTF-8, Windows-style paths into paths for the wide file calls.
class Win32PathResolver {
public:
    explicit Win32PathResolver(SystemFolders folders);

    // The full path, separators collapsed, redirected as the file-system redirector redirects a 32-bit
    // program, and in the "\\?\" form when it is too long for the ordinary one. Nothing when the text is
    // not UTF-8.
    std::optional<std::wstring> toNative(std::string_view path) const;

    // The same path without the long form, for a program's command line.
    std::optional<std::wstring> toFullPath(std::string_view path) const;

private:
    std::wstring redirect(std::wstring path) const;

    SystemFolders m_folders;
    std::wstring m_sysnative;
};

} // namespace hotfix::win32
