#include "platform/win32/win32_folder_browser.hpp"

#include "platform/ascii.hpp"
#include "platform/win32/win32_text.hpp"

#include <algorithm>
#include <shlwapi.h>
#include <windows.h>

namespace hotfix::win32 {

namespace {

// "C:\" for the wide calls.
std::wstring wideRootOf(char letter) {
    return std::wstring{static_cast<wchar_t>(letter), L':', L'\\'};
}

// Asking a drive without a medium about itself must not bring up Windows' "insert a disk" box.
class NoCriticalErrorBoxes {
public:
    NoCriticalErrorBoxes() { ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &m_previous); }
    ~NoCriticalErrorBoxes() { ::SetThreadErrorMode(m_previous, nullptr); }
    NoCriticalErrorBoxes(const NoCriticalErrorBoxes&) = delete;
    NoCriticalErrorBoxes& operator=(const NoCriticalErrorBoxes&) = delete;

private:
    DWORD m_previous = 0;
};

} // namespace

std::vector<Drive> Win32FolderBrowser::drives() {
    std::vector<Drive> out;
    const DWORD present = ::GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if ((present & (1u << i)) != 0) {
            const char letter = static_cast<char>('A' + i);
            out.push_back({letter, std::string{letter, ':', '\\'}});
        }
    }
    return out;
}

std::optional<DriveError> Win32FolderBrowser::checkDrive(char letter) {
    const char upper = asciiUpper(letter);
    const DriveError unavailable{kDeviceUnavailable, kDeviceUnavailableText};
    if (upper < 'A' || upper > 'Z' || (::GetLogicalDrives() & (1u << (upper - 'A'))) == 0) {
        return unavailable;
    }
    const NoCriticalErrorBoxes quiet;
    if (!::GetVolumeInformationW(wideRootOf(upper).c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr,
                                 0)) {
        return unavailable;
    }
    return std::nullopt;
}

std::vector<std::string> Win32FolderBrowser::subfolders(const std::string& folder) {
    const auto native = m_paths.toNative(folder);
    if (!native) {
        return {};
    }
    std::wstring pattern = *native;
    if (!pattern.ends_with(L'\\')) {
        pattern += L'\\';
    }
    pattern += L'*';

    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const NoCriticalErrorBoxes quiet;
    const HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                             FindExSearchLimitToDirectories, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        return {};
    }
    constexpr DWORD kProtected = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    do {
        const std::wstring_view name = found.cFileName;
        const bool folderEntry = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool dots = name == L"." || name == L"..";
        if (folderEntry && !dots && (found.dwFileAttributes & kProtected) != kProtected) {
            names.emplace_back(name);
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);

    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return ::StrCmpLogicalW(a.c_str(), b.c_str()) < 0;
    });
    std::vector<std::string> out;
    out.reserve(names.size());
    for (const std::wstring& name : names) {
        out.push_back(narrow(name));
    }
    return out;
}

std::string Win32FolderBrowser::currentFolder() {
    const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) {
        return {};
    }
    std::wstring folder(needed, L'\0');
    const DWORD length = ::GetCurrentDirectoryW(needed, folder.data());
    folder.resize(length < needed ? length : 0);
    return narrow(withoutLongPrefix(std::move(folder)));
}

} // namespace hotfix::win32
