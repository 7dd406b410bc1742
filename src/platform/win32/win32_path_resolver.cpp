#include "platform/win32/win32_path_resolver.hpp"

#include "platform/win32/win32_text.hpp"

#include <array>
#include <windows.h>

namespace hotfix::win32 {

namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";

// Folders under System32 that the redirector leaves alone: they hold data shared by 32- and 64-bit
// programs.
constexpr std::array<std::wstring_view, 6> kExemptFolders = {
    L"catroot", L"catroot2", L"driverstore", L"drivers\\etc", L"logfiles", L"spool",
};

bool sameText(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    if (a.empty()) {
        return true;
    }
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

// The rest of path below folder (without the separator), or nothing when path does not lie in it.
std::optional<std::wstring_view> below(std::wstring_view path, std::wstring_view folder) {
    if (folder.empty() || path.size() < folder.size() || !sameText(path.substr(0, folder.size()), folder)) {
        return std::nullopt;
    }
    const std::wstring_view rest = path.substr(folder.size());
    if (rest.empty()) {
        return rest;
    }
    if (rest.front() != L'\\') {
        return std::nullopt;
    }
    return rest.substr(1);
}

bool isFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring withoutClosingSeparator(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

std::wstring fullPath(const std::wstring& path) {
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return path;
    }
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return path;
    }
    full.resize(length);
    return full;
}

std::wstring longForm(const std::wstring& path) {
    return path.size() < MAX_PATH ? path : withLongPrefix(path);
}

} // namespace

SystemFolders detectSystemFolders() {
    SystemFolders folders;
    std::array<wchar_t, MAX_PATH> buffer{};
    UINT length = ::GetSystemDirectoryW(buffer.data(), MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        folders.system.assign(buffer.data(), length);
    }
    // A 32-bit build is redirected by Windows itself; only a 64-bit one has to do it.
    if constexpr (sizeof(void*) == 8) {
        length = ::GetSystemWow64DirectoryW(buffer.data(), MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            std::wstring wow64(buffer.data(), length);
            if (isFile(wow64 + L"\\cmd.exe")) {
                folders.wow64 = std::move(wow64);
            }
        }
    }
    return folders;
}

std::wstring collapseSeparators(std::wstring_view path) {
    std::wstring out;
    out.reserve(path.size());
    std::size_t start = 0;
    if (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/')) {
        out = L"\\\\";
        start = 2;
    }
    for (std::size_t i = start; i < path.size(); ++i) {
        const wchar_t c = path[i];
        if (c == L'\\' || c == L'/') {
            if (out.size() == start || out.back() != L'\\') {
                out.push_back(L'\\');
            }
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::wstring commandInterpreter(const SystemFolders& folders) {
    return (folders.wow64.empty() ? folders.system : folders.wow64) + L"\\cmd.exe";
}

std::wstring withLongPrefix(std::wstring_view fullPath) {
    if (fullPath.starts_with(L"\\\\")) {
        return std::wstring(kLongUncPrefix).append(fullPath.substr(2));
    }
    return std::wstring(kLongPrefix).append(fullPath);
}

std::wstring withoutLongPrefix(std::wstring path) {
    if (path.starts_with(kLongUncPrefix)) {
        return L"\\\\" + path.substr(kLongUncPrefix.size());
    }
    if (path.starts_with(kLongPrefix)) {
        path.erase(0, kLongPrefix.size());
    }
    return path;
}

Win32PathResolver::Win32PathResolver(SystemFolders folders)
    : m_folders{withoutClosingSeparator(std::move(folders.system)),
                withoutClosingSeparator(std::move(folders.wow64))} {
    // A 32-bit program reaches the real System32 as <Windows folder>\Sysnative.
    const auto lastSeparator = m_folders.system.rfind(L'\\');
    if (lastSeparator != std::wstring::npos) {
        m_sysnative = m_folders.system.substr(0, lastSeparator) + L"\\Sysnative";
    }
}

std::optional<std::wstring> Win32PathResolver::toFullPath(std::string_view path) const {
    auto wide = widen(path);
    if (!wide) {
        return std::nullopt;
    }
    if (wide->starts_with(kLongPrefix)) {
        // The long form skips Windows' own clean-up of the path, so a run of "\" must go here, or no
        // file would be found under a root written this way.
        return std::wstring(kLongPrefix) +
               collapseSeparators(std::wstring_view(*wide).substr(kLongPrefix.size()));
    }
    if (wide->starts_with(kDevicePrefix)) {
        return wide;
    }
    return redirect(fullPath(collapseSeparators(*wide)));
}

std::optional<std::wstring> Win32PathResolver::toNative(std::string_view path) const {
    auto full = toFullPath(path);
    if (!full || full->starts_with(kLongPrefix) || full->starts_with(kDevicePrefix)) {
        return full;
    }
    return longForm(*full);
}

std::wstring Win32PathResolver::redirect(std::wstring path) const {
    if (m_folders.wow64.empty()) {
        return path;
    }
    if (const auto rest = below(path, m_sysnative)) {
        return m_folders.system + (rest->empty() ? L"" : L"\\") + std::wstring(*rest);
    }
    const auto rest = below(path, m_folders.system);
    if (!rest) {
        return path;
    }
    for (const std::wstring_view exempt : kExemptFolders) {
        if (below(*rest, exempt)) {
            return path;
        }
    }
    return m_folders.wow64 + (rest->empty() ? L"" : L"\\") + std::wstring(*rest);
}

} // namespace hotfix::win32
