#include "../platform_services.hpp"
#include "posix_file_system.hpp"
#include "posix_folder_browser.hpp"
#include "posix_launcher.hpp"
#include "posix_registry.hpp"
#include "wine_prefix.hpp"

#include <filesystem>
#include <system_error>

namespace hotfix {

std::unique_ptr<FileSystem> makeFileSystem() {
    return std::make_unique<PosixFileSystem>(WinePrefix::fromEnvironment());
}

std::unique_ptr<RegistryApi> makeRegistry() {
    return std::make_unique<PosixRegistry>(WinePrefix::fromEnvironment());
}

std::unique_ptr<FolderBrowser> makeFolderBrowser() {
    return std::make_unique<PosixFolderBrowser>(WinePrefix::fromEnvironment());
}

std::unique_ptr<ProcessLauncher> makeProcessLauncher(CallbackPoster post) {
    return std::make_unique<PosixProcessLauncher>(WinePrefix::fromEnvironment(),
                                                  PosixProcessLauncher::findWine(), std::move(post));
}

std::string programFolder() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::filesystem::current_path(error).string();
    }
    return executable.parent_path().string();
}

} // namespace hotfix
