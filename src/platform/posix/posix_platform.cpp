#include "platform/ascii.hpp"
#include "platform/platform_services.hpp"
#include "platform/posix/posix_code_page_codec.hpp"
#include "platform/posix/posix_file_system.hpp"
#include "platform/posix/posix_folder_browser.hpp"
#include "platform/posix/posix_path_resolver.hpp"
#include "platform/posix/posix_process_launcher.hpp"
#include "platform/posix/posix_registry.hpp"
#include "platform/posix/wine_prefix.hpp"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
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

// Tries before a lock file whose name keeps being removed or replaced under us counts as not taken.
constexpr int kLockAttempts = 8;

// The prefix folder and its lock file, locked with flock: the kernel lets go of them when the process ends,
// however. A lock is the file's, not its name's: the folder's lock cannot be undone by removing a name in
// it; the file's keeps out the versions that lock only the file, and is taken only while its name still
// leads to the file locked, so that a name removed or replaced meanwhile is not a second lock beside it.
class PrefixRunLock final : public RunLock {
public:
    explicit PrefixRunLock(const std::string& folder)
        : m_folder(folder)
        , m_path(folder + "/hotfix-installer.lock") {}
    PrefixRunLock(const PrefixRunLock&) = delete;
    PrefixRunLock& operator=(const PrefixRunLock&) = delete;
    ~PrefixRunLock() override { release(); }

    bool tryAcquire() override {
        if (m_fd >= 0) {
            return true;
        }
        m_folderFd = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_folderFd < 0 || ::flock(m_folderFd, LOCK_EX | LOCK_NB) != 0) {
            release();
            return false;
        }
        for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
            const int fd = openLockFile();
            if (fd < 0) {
                break;
            }
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                ::close(fd);
                break;
            }
            if (nameLeadsTo(fd)) {
                m_fd = fd;
                return true;
            }
            ::close(fd);
        }
        release();
        return false;
    }
    void release() override {
        for (int* fd : {&m_fd, &m_folderFd}) {
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
        }
    }

private:
    // Never through a link, and never a FIFO or device that an open would wait on or act on. Close-on-exec:
    // a registration script that outlives the run must not hold the lock for it. Made 0644, so that another
    // account may still open it read-only, which is all flock needs.
    int openLockFile() const {
        constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
        int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | kFlags, 0644);
        if (fd < 0 && errno == EACCES) {
            fd = ::open(m_path.c_str(), O_RDONLY | kFlags);
        }
        if (fd < 0 && errno == EACCES) {
            return replaceUnreadable();
        }
        struct stat status {};
        if (fd >= 0 && (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    // A file the run cannot even read (another account's, 0600, left by an older version) would keep every
    // run out for good. The prefix is this account's (checked at start), and no other account runs on it,
    // so nobody can hold that file now: a new file, made under a name of its own, takes its name.
    int replaceUnreadable() const {
        struct stat status {};
        if (::lstat(m_path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) ||
            status.st_uid == ::geteuid()) {
            return -1;
        }
        const std::string fresh = m_path + "." + std::to_string(::getpid());
        const int fd = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) {
            return -1;
        }
        if (::rename(fresh.c_str(), m_path.c_str()) != 0) {
            ::unlink(fresh.c_str());
            ::close(fd);
            return -1;
        }
        return fd;
    }

    bool nameLeadsTo(int fd) const {
        struct stat locked {};
        struct stat named {};
        return ::fstat(fd, &locked) == 0 && ::lstat(m_path.c_str(), &named) == 0 &&
               locked.st_dev == named.st_dev && locked.st_ino == named.st_ino;
    }

    std::string m_folder;
    std::string m_path;
    int m_folderFd = -1;
    int m_fd = -1;
};

} // namespace

// The prefix is not made here: a mistyped WINEPREFIX must not become a new, empty workstation.
std::unique_ptr<RunLock> makeRunLock() {
    return std::make_unique<PrefixRunLock>(posix::WinePrefix::fromEnvironment().folder());
}

namespace {

// Who owns the path (a link itself where asked); nothing where it cannot be looked at.
std::optional<uid_t> ownerOf(const std::string& path, bool linkItself) {
    struct stat status {};
    const int looked = linkItself ? ::lstat(path.c_str(), &status) : ::stat(path.c_str(), &status);
    return looked == 0 ? std::optional<uid_t>(status.st_uid) : std::nullopt;
}

std::string foreignOwnerText(std::string_view what, const std::string& path, uid_t owner) {
    return std::string(what) + " \"" + path + "\" belongs to another account (user id " +
           std::to_string(owner) + ") than the one running the installer (user id " +
           std::to_string(::geteuid()) + "): run it as that account, as Wine itself would.";
}

} // namespace

void guardProcess() {}

std::optional<std::string> workstationRefusal(const std::vector<std::string>& roots) {
    const posix::WinePrefix prefix = posix::WinePrefix::fromEnvironment();
    std::error_code error;
    if (!std::filesystem::is_directory(prefix.folder(), error)) {
        return "The Wine prefix \"" + prefix.folder() +
               "\" does not exist: set WINEPREFIX to the workstation's prefix.";
    }
    // Files made or replaced here as another account would be that account's, and Wine would refuse them.
    const uid_t self = ::geteuid();
    if (const auto owner = ownerOf(prefix.folder(), false); owner && *owner != self) {
        return foreignOwnerText("The Wine prefix", prefix.folder(), *owner);
    }
    for (const auto& entry : std::filesystem::directory_iterator(prefix.folder() + "/dosdevices", error)) {
        const std::string link = entry.path().string();
        if (const auto owner = ownerOf(link, true); owner && *owner != self) {
            return foreignOwnerText("The drive link", link, *owner);
        }
    }
    posix::PosixPathResolver resolver(prefix);
    for (const std::string& root : roots) {
        const std::string native = resolver.nativePath(root);
        if (const auto owner = ownerOf(native, false); !native.empty() && owner && *owner != self) {
            return foreignOwnerText("The root folder", native, *owner);
        }
    }
    return std::nullopt;
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

std::string hostPathOf(const std::string& path) {
    const bool driveLetter =
        path.size() >= 3 && isAsciiLetter(path[0]) && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    if (!driveLetter) {
        return path;
    }
    posix::PosixPathResolver resolver(posix::WinePrefix::fromEnvironment());
    return resolver.nativePath(path);
}

std::optional<std::string> windowsFolderOf(const std::string& hostFolder) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::absolute(hostFolder, error);
    if (error || !std::filesystem::is_directory(folder, error)) {
        return std::nullopt;
    }
    std::string native = folder.lexically_normal().string();
    while (native.size() > 1 && native.ends_with('/')) {
        native.pop_back();
    }
    return posix::WinePrefix::fromEnvironment().windowsPath(native).value_or(native);
}

bool workstationMissing() {
    std::error_code error;
    return !std::filesystem::is_directory(posix::WinePrefix::fromEnvironment().folder(), error);
}

} // namespace hotfix
