#include "platform/platform_services.hpp"
#include "platform/posix/posix_code_page_codec.hpp"
#include "platform/posix/posix_file_system.hpp"
#include "platform/posix/posix_folder_browser.hpp"
#include "platform/posix/posix_process_launcher.hpp"
#include "platform/posix/posix_registry.hpp"
#include "platform/posix/wine_prefix.hpp"

#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>

namespace hotfix {

std::unique_ptr<FileSystem> makeFileSystem() {
    return std::make_unique<posix::PosixFileSystem>(posix::WinePrefix::fromEnvironment());
}

std::unique_ptr<CodePageCodec> makeCodePageCodec() {
    return std::make_unique<posix::PosixCodePageCodec>(posix::WinePrefix::fromEnvironment().codePages());
}

std::unique_ptr<RegistryApi> makeRegistry() {
    return std::make_unique<posix::PosixRegistry>(posix::WinePrefix::fromEnvironment());
}

namespace {

// A rename over a file that a Wine program holds goes through on POSIX, so nothing waits for a restart.
class NoFilesInUse final : public FilesInUse {
public:
    std::vector<Holder> holders(std::span<const std::string>) override { return {}; }
    bool closeHolders(std::span<const std::string>) override { return true; }
    bool restartClosed() override { return true; }
    Queued replaceAtRestart(std::string_view, std::string_view) override { return Queued::Failed; }
    bool cancelAtRestart(std::string_view) override { return true; }
    bool runAfterRestart(std::string_view, std::string_view) override { return false; }
    bool cancelRunAfterRestart(std::string_view) override { return true; }
};

} // namespace

std::unique_ptr<FilesInUse> makeFilesInUse() {
    return std::make_unique<NoFilesInUse>();
}

std::unique_ptr<FolderBrowser> makeFolderBrowser() {
    return std::make_unique<posix::PosixFolderBrowser>(posix::WinePrefix::fromEnvironment());
}

namespace {

// A lock file of the prefix, locked with flock: the kernel lets go of it when the process ends, however.
class PrefixRunLock final : public RunLock {
public:
    explicit PrefixRunLock(std::string path)
        : m_path(std::move(path)) {}
    PrefixRunLock(const PrefixRunLock&) = delete;
    PrefixRunLock& operator=(const PrefixRunLock&) = delete;
    ~PrefixRunLock() override { release(); }

    bool tryAcquire() override {
        if (m_fd >= 0) {
            return true;
        }
        // Close-on-exec: a registration script that outlives the run must not hold the lock for it.
        m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
            return true;
        }
        release();
        return false;
    }
    void release() override {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

private:
    std::string m_path;
    int m_fd = -1;
};

} // namespace

std::unique_ptr<RunLock> makeRunLock() {
    const posix::WinePrefix prefix = posix::WinePrefix::fromEnvironment();
    std::error_code error;
    std::filesystem::create_directories(prefix.folder(), error);
    return std::make_unique<PrefixRunLock>(prefix.folder() + "/hotfix-installer.lock");
}

std::unique_ptr<ProcessLauncher> makeProcessLauncher(CallbackPoster post) {
    return std::make_unique<posix::PosixProcessLauncher>(
        posix::WinePrefix::fromEnvironment(), posix::PosixProcessLauncher::findWine(), std::move(post));
}

std::string hostProgramFolder() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::filesystem::current_path(error).string();
    }
    return executable.parent_path().string();
}

std::string programFolder() {
    const std::string native = hostProgramFolder();
    // A technician reads Windows names; the file calls take them as they take the lists' paths.
    return posix::WinePrefix::fromEnvironment().windowsPath(native).value_or(native);
}

std::string programDataFolder() {
    return "C:\\ProgramData";
}

} // namespace hotfix
