#include "../platform_services.hpp"
#include "win32_file_system.hpp"
#include "win32_folder_browser.hpp"
#include "win32_paths.hpp"
#include "win32_process_launcher.hpp"
#include "win32_registry.hpp"
#include "win32_text.hpp"

#include <windows.h>

namespace hotfix {

std::unique_ptr<FileSystem> makeFileSystem() {
    return std::make_unique<win32::Win32FileSystem>(win32::detectSystemFolders());
}

std::unique_ptr<RegistryApi> makeRegistry() {
    return std::make_unique<win32::Win32Registry>();
}

std::unique_ptr<FolderBrowser> makeFolderBrowser() {
    return std::make_unique<win32::Win32FolderBrowser>();
}

std::unique_ptr<ProcessLauncher> makeProcessLauncher(CallbackPoster post) {
    return std::make_unique<win32::Win32ProcessLauncher>(
        win32::commandInterpreter(win32::detectSystemFolders()), std::move(post));
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
    if (path.starts_with(L"\\\\?\\UNC\\")) {
        path = L"\\\\" + path.substr(8);
    } else if (path.starts_with(L"\\\\?\\")) {
        path.erase(0, 4);
    }
    const auto separator = path.find_last_of(L"\\/");
    path.resize(separator == std::wstring::npos ? 0 : separator);
    return win32::narrow(path);
}

} // namespace hotfix
