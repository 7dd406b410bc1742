#include "../platform_services.hpp"
#include "posix_file_system.hpp"

#include <filesystem>
#include <system_error>

namespace hotfix {

std::unique_ptr<FileSystem> makeFileSystem() {
    return std::make_unique<PosixFileSystem>();
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
