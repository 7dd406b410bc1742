#include "platform/platform_services.hpp"
#include "platform/win32/redirection_guard.hpp"
#include "platform/win32/win32_code_page_codec.hpp"
#include "platform/win32/win32_file_system.hpp"
#include "platform/win32/win32_files_in_use.hpp"
#include "platform/win32/win32_folder_browser.hpp"
#include "platform/win32/win32_path_resolver.hpp"
#include "platform/win32/win32_process_launcher.hpp"
#include "platform/win32/win32_registry.hpp"
#include "platform/win32/win32_text.hpp"

#include <shlobj.h>
#include <windows.h>

namespace hotfix {

namespace {

// Looked up once: the file system and the launcher must agree on them, and they do not change.
const win32::SystemFolders& systemFolders() {
    static const win32::SystemFolders folders = win32::detectSystemFolders();
    return folders;
}

} // namespace

void guardProcess() {
    win32::enforceRedirectionTrust(win32::systemMitigationPolicySetter());
}

std::unique_ptr<FileSystem> makeFileSystem() {
    return std::make_unique<win32::Win32FileSystem>(systemFolders());
}

std::unique_ptr<CodePageCodec> makeCodePageCodec() {
    return std::make_unique<win32::Win32CodePageCodec>();
}

std::unique_ptr<RegistryApi> makeRegistry() {
    return std::make_unique<win32::Win32Registry>();
}

std::unique_ptr<FilesInUse> makeFilesInUse() {
    return std::make_unique<win32::Win32FilesInUse>(systemFolders());
}

std::unique_ptr<FolderBrowser> makeFolderBrowser() {
    return std::make_unique<win32::Win32FolderBrowser>();
}

namespace {

// A named mutex in the global namespace, which every session of the machine shares; Windows hands an
// abandoned one (its holder was killed) to the next that waits for it.
class MutexRunLock final : public RunLock {
public:
    MutexRunLock() = default;
    MutexRunLock(const MutexRunLock&) = delete;
    MutexRunLock& operator=(const MutexRunLock&) = delete;
    ~MutexRunLock() override { release(); }

    bool tryAcquire() override {
        if (m_held) {
            return true;
        }
        if (m_mutex == nullptr) {
            m_mutex = ::CreateMutexW(nullptr, FALSE, L"Global\\HotFix Installer run");
            // Without the right to make global objects (no administrator), the session's own namespace at
            // least keeps two runs of one user apart.
            if (m_mutex == nullptr && ::GetLastError() == ERROR_ACCESS_DENIED) {
                m_mutex = ::CreateMutexW(nullptr, FALSE, L"Local\\HotFix Installer run");
            }
            if (m_mutex == nullptr) {
                return false;
            }
        }
        const DWORD waited = ::WaitForSingleObject(m_mutex, 0);
        m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        return m_held;
    }
    void release() override {
        if (m_held) {
            ::ReleaseMutex(m_mutex);
            m_held = false;
        }
        if (m_mutex != nullptr) {
            ::CloseHandle(m_mutex);
            m_mutex = nullptr;
        }
    }

private:
    HANDLE m_mutex = nullptr;
    bool m_held = false;
};

} // namespace

std::unique_ptr<RunLock> makeRunLock() {
    return std::make_unique<MutexRunLock>();
}

std::optional<std::string> workstationRefusal(const std::vector<std::string>&) {
    return std::nullopt;
}

std::unique_ptr<ProcessLauncher> makeProcessLauncher(CallbackPoster post) {
    return std::make_unique<win32::Win32ProcessLauncher>(win32::commandInterpreter(systemFolders()),
                                                         std::move(post));
}

std::string programFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    path = win32::withoutLongPrefix(std::move(path));
    const auto separator = path.find_last_of(L"\\/");
    path.resize(separator == std::wstring::npos ? 0 : separator);
    return win32::narrow(path);
}

std::string hostProgramFolder() {
    return programFolder();
}

std::string hostPathOf(const std::string& path) {
    return path;
}

std::optional<std::string> windowsFolderOf(const std::string& hostFolder) {
    const std::optional<std::wstring> wide = win32::widen(hostFolder);
    if (!wide) {
        return std::nullopt;
    }
    const std::wstring& given = *wide;
    const DWORD size = ::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return std::nullopt;
    }
    std::wstring full(size, L'\0');
    const DWORD written = ::GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
    if (written == 0 || written >= size) {
        return std::nullopt;
    }
    full.resize(written);
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) {
        full.pop_back();
    }
    const DWORD attributes = ::GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return std::nullopt;
    }
    return win32::narrow(full);
}

bool workstationMissing() {
    return false;
}

std::string programDataFolder() {
    std::wstring folder;
    PWSTR known = nullptr;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &known))) {
        folder = known;
    }
    ::CoTaskMemFree(known);
    if (folder.empty()) {
        // Where the shell cannot answer (a stripped-down system), the environment still names the folder.
        const DWORD needed = ::GetEnvironmentVariableW(L"ProgramData", nullptr, 0);
        if (needed > 1) {
            folder.resize(needed);
            const DWORD length = ::GetEnvironmentVariableW(L"ProgramData", folder.data(), needed);
            folder.resize(length < needed ? length : 0);
        }
    }
    if (folder.empty()) {
        return "C:\\ProgramData";
    }
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    return win32::narrow(folder);
}

} // namespace hotfix
