#include "platform/platform_services.hpp"
#include "platform/posix/posix_file_system.hpp"
#include "platform/posix/posix_folder_browser.hpp"
#include "platform/posix/posix_process_launcher.hpp"
#include "platform/posix/posix_registry.hpp"
#include "platform/posix/wine_prefix.hpp"

#include <filesystem>
#include <system_error>

namespace hotfix {

std::unique_ptr<FileSystem> makeFileSystem() {
    return std::make_unique<posix::PosixFileSystem>(posix::WinePrefix::fromEnvironment());
}

std::unique_ptr<RegistryApi> makeRegistry() {
    return std::make_unique<posix::PosixRegistry>(posix::WinePrefix::fromEnvironment());
}

std::unique_ptr<FolderBrowser> makeFolderBrowser() {
    return std::make_unique<posix::PosixFolderBrowser>(posix::WinePrefix::fromEnvironment());
}

std::unique_ptr<ProcessLauncher> makeProcessLauncher(CallbackPoster post) {
    return std::make_unique<posix::PosixProcessLauncher>(
        posix::WinePrefix::fromEnvironment(), posix::PosixProcessLauncher::findWine(), std::move(post));
}

std::string programFolder() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::filesystem::current_path(error).string();
    }
    return executable.parent_path().string();
}

std::string programDataFolder() {
    return "C:\\ProgramData";
}

} // namespace hotfix
