#include "platform/posix/posix_file_system.hpp"

#include "platform/compare_reading.hpp"
#include "platform/posix/beneath.hpp"
#include "platform/posix/code_page.hpp"
#include "platform/temporary_name.hpp"
#include "platform/text_codec.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

namespace hotfix::posix {

bool syncfsIsBarrier(unsigned long fileSystemType, std::string_view kernelRelease) {
    // statfs's magic numbers of the local file systems whose syncfs writes back every file and name: ext2 to
    // ext4, XFS, Btrfs, tmpfs, F2FS.
    constexpr unsigned long kBarriers[] = {0xEF53, 0x58465342, 0x9123683E, 0x01021994, 0xF2F52010};
    if (std::find(std::begin(kBarriers), std::end(kBarriers), fileSystemType) == std::end(kBarriers)) {
        return false;
    }
    // syncfs reports write-back errors from Linux 5.8 on; before, a failed write-back would pass unseen.
    unsigned major = 0;
    unsigned minor = 0;
    if (std::sscanf(std::string(kernelRelease).c_str(), "%u.%u", &major, &minor) != 2) {
        return false;
    }
    return major > 5 || (major == 5 && minor >= 8);
}

namespace {

constexpr mode_t kPermissionBits = 07777;
// A copy carries only these: set-user-id, set-group-id and sticky bits from a package must not reach the
// workstation.
constexpr mode_t kCopiedBits = 0777;
// From this size on a copy's write-back is started as soon as it is written: a small file is not worth the
// call.
constexpr off_t kEarlyWriteBack = off_t{1} << 20;

int openRetrying(const std::string& path, int flags, mode_t mode = 0) {
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Reads to the end of the file, handing each piece over; false when a read fails or a piece is refused.
// The pieces are read into the buffers lender lends, where it lends any.
bool readPieces(int fd, const std::function<bool(std::span<const char>)>& piece, ByteSink* lender = nullptr) {
    std::vector<char> own;
    for (;;) {
        std::span<char> buffer = lender != nullptr ? lender->lend() : std::span<char>();
        if (buffer.empty()) {
            own.resize(std::size_t{256} * 1024);
            buffer = own;
        }
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (!piece(std::span<const char>(buffer.data(), static_cast<std::size_t>(got)))) {
            return false;
        }
    }
}

bool copyContent(int in, int out) {
    // copy_file_range lets the kernel copy (and share extents where it can); plain read and write where it
    // cannot be used between these two files.
    for (;;) {
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 30, 0);
        if (copied == 0) {
            return true;
        }
        if (copied < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
                break;
            }
            return false;
        }
    }
    return readPieces(
        in, [out](std::span<const char> piece) { return writeAll(out, piece.data(), piece.size()); });
}

int openAtRetrying(int folder, const std::string& name, int flags, mode_t mode = 0) {
    int fd = -1;
    do {
        fd = ::openat(folder, name.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool isReadOnly(const struct stat& st) {
    return (st.st_mode & S_IWUSR) == 0;
}

// A path's trailing separators name nothing of their own.
std::string withoutTrailingSlashes(std::string native) {
    while (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    return native;
}

// The folder that holds a native path's last entry.
std::string folderOf(const std::string& native) {
    const auto slash = native.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : native.substr(0, slash);
}

// Whether path is folder itself or lies below it.
bool holds(const std::string& folder, const std::string& path) {
    return path.starts_with(folder) &&
           (path.size() == folder.size() || folder.back() == '/' || path[folder.size()] == '/');
}

// Opens a file for appending, never through a link, making it where it is missing (readable by its owner
// alone: what is appended is the installer's own); created tells which of the two happened.
int openForAppend(int folder, const std::string& name, bool& created) {
    for (;;) {
        const int fd = openAtRetrying(folder, name, O_RDWR | O_APPEND | O_NOFOLLOW | O_NONBLOCK);
        if (fd >= 0 || errno != ENOENT) {
            created = false;
            return fd;
        }
        const int made =
            openAtRetrying(folder, name, O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
        // Another program may make it between the two opens; then it is appended to as it is.
        if (made >= 0 || errno != EEXIST) {
            created = made >= 0;
            return made;
        }
    }
}

// Drops what a cut-off append left after the file's last line break.
bool dropCutOffTail(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return false;
    }
    std::array<char, 4096> block{};
    for (off_t end = st.st_size; end > 0;) {
        const off_t start = std::max<off_t>(0, end - static_cast<off_t>(block.size()));
        const auto wanted = static_cast<std::size_t>(end - start);
        if (::pread(fd, block.data(), wanted, start) != static_cast<ssize_t>(wanted)) {
            return false;
        }
        for (std::size_t i = wanted; i-- > 0;) {
            if (block[i] == '\n') {
                const off_t keep = start + static_cast<off_t>(i) + 1;
                return keep == st.st_size || ::ftruncate(fd, keep) == 0;
            }
        }
        end = start;
    }
    return st.st_size == 0 || ::ftruncate(fd, 0) == 0;
}

std::string kernelRelease() {
    struct utsname name {};
    return ::uname(&name) == 0 ? std::string(name.release) : std::string();
}

FileSystem::Privacy privacyOf(const struct stat& st) {
    if (S_ISLNK(st.st_mode)) {
        return FileSystem::Privacy::Link;
    }
    if (st.st_uid != ::geteuid()) {
        return FileSystem::Privacy::ForeignOwner;
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return FileSystem::Privacy::OthersMayWrite;
    }
    return FileSystem::Privacy::Private;
}

FileSystem::Privacy privacyOfError(int error) {
    if (error == ENOENT || error == ENOTDIR) {
        return FileSystem::Privacy::Missing;
    }
    return error == ELOOP ? FileSystem::Privacy::Link : FileSystem::Privacy::Unknown;
}

enum class Kinds { Files, FilesAndFolders };

// Changes the permission bits of the file itself, through a descriptor of it, never through a link: a link
// planted at the name fails with ELOOP. Set-user-id and set-group-id are never added: marks put back must
// not make a program run as its owner.
bool changeMode(int folder, const std::string& name, mode_t mode, Kinds kinds) {
    bool throughProc = false;
    Fd fd(openAtRetrying(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
    if (!fd.valid() && errno == EACCES) {
        // A file its owner may not read: held by its place, which opens a link as the link itself.
        fd = Fd(openAtRetrying(folder, name, O_PATH | O_NOFOLLOW));
        throughProc = true;
    }
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        return false;
    }
    if (!S_ISREG(st.st_mode) && !(kinds == Kinds::FilesAndFolders && S_ISDIR(st.st_mode))) {
        errno = S_ISLNK(st.st_mode) ? ELOOP : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    mode &= ~(static_cast<mode_t>(S_ISUID | S_ISGID) & ~st.st_mode);
    if ((st.st_mode & kPermissionBits) == mode) {
        return true;
    }
    if (throughProc) {
        return ::chmod(("/proc/self/fd/" + std::to_string(fd.get())).c_str(), mode) == 0;
    }
    return ::fchmod(fd.get(), mode) == 0;
}

} // namespace

void PosixFileSystem::confineBelow(std::span<const std::string> roots) {
    std::vector<Anchor> anchors;
    for (const std::string& root : roots) {
        std::string native = withoutTrailingSlashes(nativePath(root));
        if (native.empty()) {
            continue;
        }
        // The root as its path leads now, links included: it is the folder the run was told to work in.
        Fd fd(openRetrying(native, O_RDONLY | O_DIRECTORY));
        if (fd.valid()) {
            anchors.push_back({std::move(native), std::make_shared<const Fd>(std::move(fd))});
        }
    }
    const std::lock_guard lock(m_anchorMutex);
    m_roots = std::move(anchors);
    m_folders.clear();
}

void PosixFileSystem::findDrives() {
    // Each drive of the prefix, as its link in dosdevices leads. A drive that is the host's whole file
    // system (Z:) is no folder of the Windows machine: there only the roots a run names confine it.
    struct stat top {};
    const bool topKnown = ::stat("/", &top) == 0;
    m_drives.emplace();
    for (const WinePrefix::DriveLink& drive : m_paths.prefix().drives()) {
        const std::optional<std::string> folder = m_paths.prefix().driveFolder(drive.letter);
        if (!folder || *folder == "/") {
            continue;
        }
        Fd fd(openRetrying(*folder, O_RDONLY | O_DIRECTORY));
        struct stat st {};
        if (fd.valid() && ::fstat(fd.get(), &st) == 0 && topKnown && st.st_dev == top.st_dev &&
            st.st_ino == top.st_ino) {
            continue;
        }
        m_drives->push_back({*folder, fd.valid() ? std::make_shared<const Fd>(std::move(fd)) : nullptr});
    }
}

PosixFileSystem::Anchor PosixFileSystem::anchorFor(const std::string& folder) {
    const std::lock_guard lock(m_anchorMutex);
    if (!m_drives) {
        findDrives();
    }
    const Anchor* best = nullptr;
    for (const auto* anchors : {&m_roots, &*m_drives}) {
        for (const Anchor& anchor : *anchors) {
            if (holds(anchor.native, folder) &&
                (best == nullptr || anchor.native.size() > best->native.size())) {
                best = &anchor;
            }
        }
    }
    return best != nullptr ? *best : Anchor{};
}

std::optional<PosixFileSystem::Anchor> PosixFileSystem::exactAnchor(const std::string& native) {
    Anchor anchor = anchorFor(native);
    if (anchor.native.empty() || anchor.native.size() != native.size()) {
        return std::nullopt;
    }
    return anchor;
}

std::shared_ptr<const Fd> PosixFileSystem::openFolder(const std::string& folder) {
    {
        const std::lock_guard lock(m_anchorMutex);
        if (const auto it = m_folders.find(folder); it != m_folders.end()) {
            return it->second;
        }
    }
    const Anchor anchor = anchorFor(folder);
    std::shared_ptr<const Fd> opened;
    if (!anchor.native.empty()) {
        if (!anchor.fd) {
            errno = ENOENT;
            return nullptr;
        }
        if (folder.size() == anchor.native.size()) {
            return anchor.fd;
        }
        const std::size_t skip = anchor.native.size() + (anchor.native.back() == '/' ? 0 : 1);
        Fd fd = openFolderBeneath(anchor.fd->get(), std::string_view(folder).substr(skip), m_walk);
        if (!fd.valid()) {
            return nullptr;
        }
        opened = std::make_shared<const Fd>(std::move(fd));
    } else {
        // Outside every root and drive the folder is the one its path leads to; its names are still never
        // followed.
        Fd fd(openRetrying(folder, O_RDONLY | O_DIRECTORY));
        if (!fd.valid()) {
            return nullptr;
        }
        opened = std::make_shared<const Fd>(std::move(fd));
    }
    const std::lock_guard lock(m_anchorMutex);
    if (m_keepFolders) {
        // A run's folders stay open while it lasts: the folder it checked is the one it acts in, whatever
        // becomes of its name meanwhile. Bounded, as descriptors are.
        if (m_folders.size() >= kMaxOpenFolders) {
            m_folders.clear();
        }
        m_folders.emplace(folder, opened);
    }
    return opened;
}

PosixFileSystem::Place PosixFileSystem::place(const std::string& native) {
    const std::string path = withoutTrailingSlashes(native);
    Place at;
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        at.name = path;
        at.folder = openFolder(".");
    } else if (path == "/") {
        at.name = ".";
        at.folder = openFolder("/");
    } else {
        at.name = path.substr(slash + 1);
        at.folder = openFolder(slash == 0 ? std::string("/") : path.substr(0, slash));
    }
    return at;
}

int PosixFileSystem::openPlaced(const std::string& native, int flags, mode_t mode) {
    const Place at = place(native);
    return at ? openAtRetrying(at.fd(), at.name, flags | O_NOFOLLOW, mode) : -1;
}

bool PosixFileSystem::unlinkPlaced(const std::string& native) {
    const Place at = place(native);
    return at && ::unlinkat(at.fd(), at.name.c_str(), 0) == 0;
}

std::optional<struct stat> PosixFileSystem::statPlaced(const std::string& native) {
    const std::string path = withoutTrailingSlashes(native);
    struct stat st {};
    if (const auto anchor = exactAnchor(path)) {
        if (anchor->fd && ::fstat(anchor->fd->get(), &st) == 0) {
            return st;
        }
        return std::nullopt;
    }
    const Place at = place(path);
    if (!at || ::fstatat(at.fd(), at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return std::nullopt;
    }
    return st;
}

int PosixFileSystem::openExisting(std::string_view path, int flags) {
    // Spelled as on the disk, which is the rule: the open itself says whether it is there, and only a name
    // spelled in another case costs a look at its folder. Never through a link, and a FIFO never waits.
    flags |= O_NONBLOCK;
    const std::string spelled = m_paths.spelledPath(path);
    if (spelled.empty()) {
        errno = ENOENT;
        return -1;
    }
    const int fd = openPlaced(spelled, flags);
    if (fd >= 0 || errno != ENOENT) {
        return fd;
    }
    // What a run saw there is past: the next look asks the disk.
    forget(spelled);
    const std::string native = m_paths.resolveMissing(spelled);
    if (native.empty() || native == spelled) {
        errno = ENOENT;
        return -1;
    }
    const int nativeFd = openPlaced(native, flags);
    if (nativeFd < 0) {
        const int error = errno;
        forget(native);
        errno = error;
    }
    return nativeFd;
}

void PosixFileSystem::beginRun() {
    const std::lock_guard lock(m_seenMutex);
    if (m_runs++ == 0) {
        m_paths.trustListings(true);
        const std::lock_guard folders(m_anchorMutex);
        m_keepFolders = true;
    }
}

void PosixFileSystem::endRun() {
    const std::lock_guard lock(m_seenMutex);
    if (--m_runs == 0) {
        m_seen.clear();
        m_symbolicLinksSeen = false;
        m_paths.trustListings(false);
        const std::lock_guard folders(m_anchorMutex);
        m_keepFolders = false;
        m_folders.clear();
    }
}

PosixFileSystem::Seen PosixFileSystem::look(const std::string& native) {
    {
        const std::lock_guard lock(m_seenMutex);
        if (const auto it = m_seen.find(native); it != m_seen.end()) {
            return it->second;
        }
    }
    Seen seen;
    struct stat st {};
    const std::string path = withoutTrailingSlashes(native);
    if (const auto anchor = exactAnchor(path)) {
        if (anchor->fd && ::fstat(anchor->fd->get(), &st) == 0) {
            seen.entry = st;
            seen.status = st;
        }
    } else if (const Place at = place(path)) {
        if (::fstatat(at.fd(), at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            seen.entry = st;
            // What a link leads to is looked at for the decisions alone: nothing is ever done through it.
            if (!S_ISLNK(st.st_mode) || ::fstatat(at.fd(), at.name.c_str(), &st, 0) == 0) {
                seen.status = st;
            }
        }
    } else if (errno == ELOOP && ::lstat(path.c_str(), &st) == 0) {
        // A link on the way below a root: the file counts as there, so that every act on it fails, said,
        // rather than being passed over as missing.
        seen.entry = st;
        if (!S_ISLNK(st.st_mode) || ::stat(path.c_str(), &st) == 0) {
            seen.status = st;
        }
    }
    remember(native, seen);
    return seen;
}

void PosixFileSystem::remember(const std::string& native, const Seen& seen) {
    // Files only: a folder is looked at once per side or folder, and a package folder that went away must be
    // met as gone.
    if (!seen.entry || S_ISDIR(seen.entry->st_mode)) {
        return;
    }
    const std::lock_guard lock(m_seenMutex);
    if (m_runs > 0) {
        m_seen.insert_or_assign(native, seen);
        m_symbolicLinksSeen = m_symbolicLinksSeen || S_ISLNK(seen.entry->st_mode);
    }
}

void PosixFileSystem::forget(const std::string& native) {
    const std::lock_guard lock(m_seenMutex);
    const auto it = m_seen.find(native);
    if (it == m_seen.end()) {
        return;
    }
    // Marks and size belong to the file, not the name: every name of it seen in the run is past, a link
    // that leads to it included. Most files have one name, and a run that deletes thousands must not look
    // through all it has seen for each of them.
    const Seen gone = it->second;
    if (!m_symbolicLinksSeen && gone.entry->st_nlink <= 1) {
        m_seen.erase(it);
        return;
    }
    const auto oneFile = [](const std::optional<struct stat>& a, const std::optional<struct stat>& b) {
        return a && b && a->st_dev == b->st_dev && a->st_ino == b->st_ino;
    };
    std::erase_if(m_seen, [&](const auto& entry) {
        const Seen& seen = entry.second;
        return oneFile(seen.entry, gone.entry) || oneFile(seen.status, gone.entry) ||
               oneFile(seen.status, gone.status);
    });
}

void PosixFileSystem::moved(const std::string& from, const std::string& to) {
    const std::lock_guard lock(m_seenMutex);
    const auto it = m_seen.find(from);
    if (it == m_seen.end()) {
        m_seen.erase(to);
        return;
    }
    const Seen seen = it->second;
    m_seen.erase(it);
    m_seen.insert_or_assign(to, seen);
}

PosixFileSystem::Found PosixFileSystem::find(std::string_view path) {
    std::string spelled = m_paths.spelledPath(path);
    // A name that a trusted listing of its folder lacks in every case is not there: no look at the disk.
    if (spelled.empty() || m_paths.knownMissing(spelled)) {
        return {std::move(spelled), std::nullopt};
    }
    if (auto status = look(spelled).status) {
        return {std::move(spelled), status};
    }
    std::string native = m_paths.resolveMissing(spelled);
    // The spelling itself back: no name matches in any case, which the look above has shown already.
    auto status = native.empty() || native == spelled ? std::nullopt : look(native).status;
    return {std::move(native), status};
}

bool PosixFileSystem::fileExists(std::string_view path) {
    const auto st = find(path).status;
    return st && !S_ISDIR(st->st_mode);
}

bool PosixFileSystem::folderExists(std::string_view path) {
    const auto st = find(path).status;
    return st && S_ISDIR(st->st_mode);
}

std::optional<std::vector<std::string>> PosixFileSystem::subfolderNames(std::string_view path) {
    Fd folder(openExisting(path, O_RDONLY | O_DIRECTORY));
    if (!folder.valid()) {
        return std::nullopt;
    }
    DIR* const dir = ::fdopendir(folder.get());
    if (dir == nullptr) {
        return std::nullopt;
    }
    static_cast<void>(folder.release());
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st {};
        // A link to a folder is no folder of the installer's.
        if (name != "." && name != ".." &&
            ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    return names;
}

bool PosixFileSystem::sameFile(std::string_view first, std::string_view second) {
    const auto a = find(first).status;
    const auto b = a ? find(second).status : std::nullopt;
    return b && a->st_dev == b->st_dev && a->st_ino == b->st_ino;
}

std::optional<FileAttributes> PosixFileSystem::attributes(std::string_view path) {
    const auto st = find(path).status;
    if (!st) {
        return std::nullopt;
    }
    return FileAttributes{static_cast<std::uint32_t>(st->st_mode & kPermissionBits)};
}

bool PosixFileSystem::setAttributes(std::string_view path, FileAttributes attributes) {
    const auto [native, st] = find(path);
    const auto mode = static_cast<mode_t>(attributes.bits & kPermissionBits);
    // Marks that are as asked already are left alone: no call changes nothing.
    if (!st || (st->st_mode & kPermissionBits) == mode) {
        return st.has_value();
    }
    forget(native);
    const Place at = place(native);
    return (at && changeMode(at.fd(), at.name, mode, Kinds::FilesAndFolders)) || fail(errno);
}

bool PosixFileSystem::clearAttributes(std::string_view path) {
    const auto [native, st] = find(path);
    if (!st || S_ISDIR(st->st_mode)) {
        return false;
    }
    forget(native);
    const Place at = place(native);
    return (at && changeMode(at.fd(), at.name, (st->st_mode & kPermissionBits) | S_IWUSR, Kinds::Files)) ||
           fail(errno);
}

bool PosixFileSystem::copyFileToNew(std::string_view from, std::string_view to) {
    return copy(from, to);
}

bool PosixFileSystem::copyFileToNewThrough(std::string_view from, std::string_view to, ByteSink& sink) {
    return copy(from, to, &sink);
}

int PosixFileSystem::createNew(std::string_view path, mode_t mode, std::string& native) {
    // O_EXCL makes "nothing there" and the creation one step: a file that appears meanwhile is kept, and a
    // link at the name is never followed. The installer's temporary names are unique by their random part,
    // so for them that open is the whole look; any other name may be there spelled in another case, which
    // only the folder's listing tells.
    std::string spelled = m_paths.spelledPath(path);
    if (isTemporaryName(std::string_view(spelled).substr(spelled.rfind('/') + 1))) {
        const int fd = openPlaced(spelled, O_WRONLY | O_CREAT | O_EXCL, mode);
        if (fd >= 0 || errno != ENOENT) {
            native = std::move(spelled);
            return fd;
        }
    }
    auto [found, status] = find(path);
    if (status) {
        errno = EEXIST;
        return -1;
    }
    native = std::move(found);
    return openPlaced(native, O_WRONLY | O_CREAT | O_EXCL, mode);
}

bool PosixFileSystem::copy(std::string_view from, std::string_view to, ByteSink* sink) {
    Fd in(openExisting(from, O_RDONLY));
    if (!in.valid()) {
        return fail(errno);
    }
    // The source's marks as a run has seen them; a folder that took its place since fails the first read.
    const std::optional<struct stat> source = find(from).status;
    if (!source || S_ISDIR(source->st_mode)) {
        return fail(source ? EISDIR : ENOENT);
    }
    // The copy carries the source's marks, read-only included, as a Windows copy does. It is made with them,
    // and the one look at what the umask left is what a run knows of the new file.
    const mode_t marks = source->st_mode & kCopiedBits;
    std::string target;
    Fd out(createNew(to, marks, target));
    if (!out.valid()) {
        return fail(errno);
    }
    m_paths.noteCreated(target);
    // Each piece is written before sink has it: a lent buffer is the sink's again once handed over.
    const auto writeThenHandOver = [&](std::span<const char> piece) {
        if (!writeAll(out.get(), piece.data(), piece.size())) {
            return false;
        }
        sink->take(piece);
        return true;
    };
    const bool content =
        sink != nullptr ? readPieces(in.get(), writeThenHandOver, sink) : copyContent(in.get(), out.get());
    struct stat made {};
    const bool marked = content && ::fstat(out.get(), &made) == 0 &&
                        ((made.st_mode & kPermissionBits) == marks || ::fchmod(out.get(), marks) == 0);
    // A large copy starts on its way to the disk now, while the run goes on, so that the flush before the
    // files are put in place finds less to wait for. Only that flush makes it durable.
    if (marked && made.st_size >= kEarlyWriteBack) {
        ::sync_file_range(out.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    }
    const bool copied = marked && out.close();
    if (!copied) {
        fail(errno);
        // A half-written file of our own making would pass for a complete one.
        unlinkPlaced(target);
        m_paths.noteRemoved(target);
        forget(target);
        return false;
    }
    made.st_mode = (made.st_mode & ~kPermissionBits) | marks;
    remember(target, {made, made});
    return true;
}

bool PosixFileSystem::fail(int error) {
    // The log says plainly why a link below a root stopped the file.
    m_lastError =
        error == ELOOP ? "a symbolic link, which the installer never follows" : std::strerror(error);
    return false;
}

FileSystem::LinkResult PosixFileSystem::linkFile(std::string_view existing, std::string_view newName) {
    // The entry itself is looked at, not what a link leads to: a second name of a symbolic link is a link
    // too, which would follow whatever becomes of the target and hold no bytes of its own. Such a file is
    // backed up as a copy, which fails on the link.
    std::string source = m_paths.spelledPath(existing);
    Seen itself = source.empty() ? Seen{} : look(source);
    if (!source.empty() && !itself.entry) {
        source = m_paths.resolveMissing(source);
        itself = source.empty() ? Seen{} : look(source);
    }
    if (!itself.entry || S_ISDIR(itself.entry->st_mode)) {
        fail(!itself.entry ? ENOENT : EISDIR);
        return LinkResult::Failed;
    }
    if (S_ISLNK(itself.entry->st_mode)) {
        return LinkResult::Unsupported;
    }
    const std::string target = find(newName).native;
    const Place from = place(source);
    const Place to = from ? place(target) : Place{};
    if (!from || !to) {
        fail(errno);
        return LinkResult::Failed;
    }
    if (::linkat(from.fd(), from.name.c_str(), to.fd(), to.name.c_str(), 0) == 0) {
        m_paths.noteCreated(target);
        // One file under two names: what was seen of it holds for both, and a change through either name
        // must reach the other.
        ++itself.entry->st_nlink;
        itself.status = itself.entry;
        remember(source, itself);
        remember(target, itself);
        return LinkResult::Linked;
    }
    // FAT and some network file systems have no hard links; a file at its link limit takes no more.
    fail(errno);
    switch (errno) {
    case EPERM:
    case EOPNOTSUPP:
    case ENOSYS:
    case EMLINK:
    case EXDEV:
        return LinkResult::Unsupported;
    default:
        return LinkResult::Failed;
    }
}

bool PosixFileSystem::moveFile(std::string_view from, std::string_view to, Overwrite overwrite) {
    const auto [source, sourceStat] = find(from);
    const auto [target, targetStat] = find(to);
    if (!sourceStat || S_ISDIR(sourceStat->st_mode) || (targetStat && S_ISDIR(targetStat->st_mode))) {
        return fail(sourceStat ? EISDIR : ENOENT);
    }
    if (overwrite == Overwrite::Never && targetStat) {
        return fail(EEXIST);
    }
    const Place a = place(source);
    const Place b = a ? place(target) : Place{};
    if (!a || !b) {
        return fail(errno);
    }
    bool moved = false;
    if (overwrite == Overwrite::Existing) {
        moved = ::renameat(a.fd(), a.name.c_str(), b.fd(), b.name.c_str()) == 0;
    } else if (::renameat2(a.fd(), a.name.c_str(), b.fd(), b.name.c_str(), RENAME_NOREPLACE) == 0) {
        moved = true;
    } else if ((errno == EINVAL || errno == ENOSYS) &&
               ::linkat(a.fd(), a.name.c_str(), b.fd(), b.name.c_str(), 0) == 0) {
        // A file system without the flag: a link never replaces anything either. Once the link is made the
        // file is in place, whatever becomes of its old name, which is tried once more.
        moved = true;
        if (::unlinkat(a.fd(), a.name.c_str(), 0) != 0 && ::unlinkat(a.fd(), a.name.c_str(), 0) != 0) {
            m_paths.noteCreated(target);
            forget(target);
            return true;
        }
    }
    if (!moved) {
        return fail(errno);
    }
    m_paths.noteRemoved(source);
    m_paths.noteCreated(target);
    this->moved(source, target);
    return true;
}

bool PosixFileSystem::flush(std::span<const std::string> paths) {
    return flush(paths, Durable::BytesAndNames);
}

bool PosixFileSystem::flushNames(std::span<const std::string> paths) {
    return flush(paths, Durable::Names);
}

bool PosixFileSystem::flush(std::span<const std::string> paths, Durable durable) {
    // One syncfs per file system writes back every file and name of the batch together, with one wait for
    // the disk, where an fsync per file would wait once for each. Where syncfs is no such barrier (FUSE,
    // network file systems, kernels before 5.8, which report no write-back error from it), each file is
    // flushed, and each folder whose names changed.
    std::set<dev_t> synced;
    std::set<dev_t> notBarriers;
    std::map<std::string, std::shared_ptr<const Fd>> folders;
    for (const std::string& path : paths) {
        const auto [native, status] = find(path);
        // A file system synced already in this call covers the file without opening it.
        if (status && synced.contains(status->st_dev)) {
            continue;
        }
        const Place at = native.empty() ? Place{} : place(native);
        if (!at) {
            return fail(native.empty() ? ENOENT : errno);
        }
        // A file that is gone has its removal made durable with its folder.
        Fd file(status ? openAtRetrying(at.fd(), at.name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK) : -1);
        const int fd = status ? file.get() : at.fd();
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            return fail(errno);
        }
        if (synced.contains(st.st_dev)) {
            continue;
        }
        if (m_flushPolicy == FlushPolicy::ByFileSystem && !notBarriers.contains(st.st_dev)) {
            struct statfs fileSystem {};
            if (::fstatfs(fd, &fileSystem) != 0) {
                return fail(errno);
            }
            if (syncfsIsBarrier(static_cast<unsigned long>(fileSystem.f_type), kernelRelease())) {
                if (::syncfs(fd) != 0) {
                    return fail(errno);
                }
                synced.insert(st.st_dev);
                continue;
            }
            notBarriers.insert(st.st_dev);
        }
        if (status && durable == Durable::BytesAndNames && ::fsync(fd) != 0) {
            return fail(errno);
        }
        folders.emplace(folderOf(withoutTrailingSlashes(native)), at.folder);
    }
    for (const auto& [folder, fd] : folders) {
        if (::fsync(fd->get()) != 0) {
            return fail(errno);
        }
    }
    return true;
}

bool PosixFileSystem::removeName(std::string_view path) {
    const std::string native = nativePath(path);
    const Place at = native.empty() ? Place{} : place(native);
    struct stat itself {};
    if (!at || ::fstatat(at.fd(), at.name.c_str(), &itself, AT_SYMLINK_NOFOLLOW) != 0 ||
        S_ISDIR(itself.st_mode) || ::unlinkat(at.fd(), at.name.c_str(), 0) != 0) {
        return false;
    }
    m_paths.noteRemoved(native);
    forget(native);
    return true;
}

bool PosixFileSystem::deleteFile(std::string_view path) {
    const std::string native = nativePath(path);
    const Place at = native.empty() ? Place{} : place(native);
    struct stat st {};
    if (!at || ::fstatat(at.fd(), at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return fail(native.empty() ? ENOENT : errno);
    }
    if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && isReadOnly(st))) {
        return fail(S_ISDIR(st.st_mode) ? EISDIR : EACCES);
    }
    if (::unlinkat(at.fd(), at.name.c_str(), 0) != 0) {
        return fail(errno);
    }
    m_paths.noteRemoved(native);
    forget(native);
    return true;
}

bool PosixFileSystem::createTextFile(std::string_view path) {
    const std::string native = nativePath(path);
    if (native.empty()) {
        return false;
    }
    // O_EXCL: a file that is there, or appears meanwhile, is never emptied; it may be a running script.
    Fd fd(openPlaced(native, O_WRONLY | O_CREAT | O_EXCL, 0644));
    forget(native);
    if (!fd.valid()) {
        return false;
    }
    m_paths.noteCreated(native);
    if (!fd.close()) {
        unlinkPlaced(native);
        m_paths.noteRemoved(native);
        return false;
    }
    return true;
}

bool PosixFileSystem::appendToFile(std::string_view path, std::string_view bytes) {
    const std::string native = nativePath(path);
    forget(native);
    Fd fd(native.empty() ? -1 : openPlaced(native, O_WRONLY | O_APPEND | O_NONBLOCK));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        return fail(native.empty() ? ENOENT : errno);
    }
    // Checked on the file it writes to: Windows appends to no read-only file, root on POSIX would.
    if (!S_ISREG(st.st_mode) || isReadOnly(st)) {
        return fail(S_ISREG(st.st_mode) ? EACCES : EINVAL);
    }
    return (writeAll(fd.get(), bytes.data(), bytes.size()) && fd.close()) || fail(errno);
}

bool PosixFileSystem::readFile(std::string_view path,
                               const std::function<void(std::span<const char>)>& sink) {
    // A folder opens for reading too, and its first read fails with EISDIR.
    Fd fd(openExisting(path, O_RDONLY));
    return fd.valid() && readPieces(fd.get(), [&sink](std::span<const char> piece) {
               sink(piece);
               return true;
           });
}

std::optional<bool> PosixFileSystem::sameBytes(std::string_view first, std::string_view second,
                                               ByteSink& firstSink) {
    Fd a(openExisting(first, O_RDONLY));
    Fd b(a.valid() ? openExisting(second, O_RDONLY) : -1);
    // The sizes as a run has seen them only spare reading second: first is read to its end all the same, and
    // second as far as it agrees with first. A folder opens for reading too, but has no bytes to compare.
    const std::optional<struct stat> aStat = b.valid() ? find(first).status : std::nullopt;
    const std::optional<struct stat> bStat = aStat ? find(second).status : std::nullopt;
    if (!bStat || S_ISDIR(aStat->st_mode) || S_ISDIR(bStat->st_mode)) {
        return std::nullopt;
    }
    const auto reader = [](int fd, ReadUntil until) {
        return [fd, until](char* buffer, std::size_t size) -> std::optional<std::size_t> {
            std::size_t done = 0;
            while (done < size) {
                const ssize_t got = ::read(fd, buffer + done, size - done);
                if (got < 0 && errno == EINTR) {
                    continue;
                }
                if (got < 0) {
                    return std::nullopt;
                }
                done += static_cast<std::size_t>(got);
                if (got == 0 || until == ReadUntil::AnyBytes) {
                    break;
                }
            }
            return done;
        };
    };
    return compareReading(reader(a.get(), ReadUntil::AnyBytes), reader(b.get(), ReadUntil::AllAsked),
                          aStat->st_size == bStat->st_size, firstSink);
}

bool PosixFileSystem::createFolders(std::string_view path) {
    const std::string native = withoutTrailingSlashes(nativePath(path));
    if (native.empty()) {
        return false;
    }
    // The missing levels, found deepest first and made outermost first. A link where a folder should be
    // counts as there, and fails the end: a folder of the installer's is never one a link leads to.
    std::vector<std::string> missing;
    for (std::string level = native; !statPlaced(level); level = folderOf(level)) {
        if (level == "/" || level == "." || errno == ELOOP) {
            return false;
        }
        missing.push_back(level);
    }
    std::reverse(missing.begin(), missing.end());
    for (const std::string& level : missing) {
        forget(level);
        const Place at = place(level);
        if (!at) {
            return false;
        }
        if (::mkdirat(at.fd(), at.name.c_str(), 0777) != 0) {
            if (errno != EEXIST) {
                return false;
            }
            continue;
        }
        m_paths.noteCreated(level);
        // A record written below a new folder must not vanish with the folder's name after a power cut.
        if (::fsync(at.fd()) != 0) {
            return false;
        }
    }
    const auto st = statPlaced(native);
    return st && S_ISDIR(st->st_mode);
}

bool PosixFileSystem::appendDurably(std::string_view path, std::string_view bytes) {
    const std::string native = nativePath(path);
    const Place at = native.empty() ? Place{} : place(native);
    if (!at) {
        return fail(native.empty() ? ENOENT : errno);
    }
    forget(native);
    bool created = false;
    Fd fd(openForAppend(at.fd(), at.name, created));
    if (!fd.valid()) {
        return fail(errno);
    }
    if (created) {
        m_paths.noteCreated(native);
    }
    // The installer's own file alone, checked on the file it writes to: a plain file (a FIFO would never
    // end), with no second name (through which another file would be cut and grown), and not read-only
    // (Windows appends to no such file; root on POSIX would).
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return fail(errno);
    }
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || isReadOnly(st)) {
        return fail(!S_ISREG(st.st_mode) ? EINVAL : st.st_nlink != 1 ? EMLINK : EACCES);
    }
    return ((created || dropCutOffTail(fd.get())) && writeAll(fd.get(), bytes.data(), bytes.size()) &&
            ::fdatasync(fd.get()) == 0 && fd.close() && (!created || ::fsync(at.fd()) == 0)) ||
           fail(errno);
}

FileSystem::Privacy PosixFileSystem::makePrivateFolder(std::string_view path) {
    const std::string native = withoutTrailingSlashes(nativePath(path));
    if (native.empty()) {
        return Privacy::Unknown;
    }
    forget(native);
    const Place at = place(native);
    if (!at) {
        return privacyOfError(errno);
    }
    if (::mkdirat(at.fd(), at.name.c_str(), 0700) == 0) {
        m_paths.noteCreated(native);
        // A record written below a new folder must not vanish with the folder's name after a power cut.
        return ::fsync(at.fd()) == 0 ? privacy(path) : Privacy::Unknown;
    }
    if (errno != EEXIST) {
        return errno == ENOENT ? Privacy::Missing : Privacy::Unknown;
    }
    // The folder itself, never one a link leads to, is looked at.
    Fd folder(openAtRetrying(at.fd(), at.name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
    if (!folder.valid()) {
        // A link, or something else than a folder.
        const Privacy found = privacy(path);
        return found == Privacy::Private ? Privacy::Unknown : found;
    }
    struct stat st {};
    if (::fstat(folder.get(), &st) != 0) {
        return Privacy::Unknown;
    }
    // A folder that others could write is refused, not mended: what they wrote may be in it already.
    if (const Privacy found = privacyOf(st); found != Privacy::Private) {
        return found;
    }
    if ((st.st_mode & 077) != 0 && ::fchmod(folder.get(), 0700) != 0) {
        return Privacy::Unknown;
    }
    return Privacy::Private;
}

FileSystem::Privacy PosixFileSystem::privacy(std::string_view path) {
    const std::string native = withoutTrailingSlashes(nativePath(path));
    const Place at = native.empty() ? Place{} : place(native);
    if (!at) {
        return native.empty() ? Privacy::Missing : privacyOfError(errno);
    }
    struct stat st {};
    if (::fstatat(at.fd(), at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return privacyOfError(errno);
    }
    return privacyOf(st);
}

std::optional<std::string> PosixFileSystem::identity(std::string_view path) {
    // Afresh: a file of the same name made since the last look must give another key.
    const std::string native = find(path).native;
    const auto st = native.empty() ? std::nullopt : statPlaced(native);
    if (!st) {
        return std::nullopt;
    }
    // A new file may get a freed inode number again; its change time, to the nanosecond, tells it apart.
    return std::to_string(st->st_dev) + ":" + std::to_string(st->st_ino) + ":" +
           std::to_string(st->st_ctim.tv_sec) + "." + std::to_string(st->st_ctim.tv_nsec);
}

namespace {

// A file held open, with the device and inode that name it while it is.
class PosixHeldFile final : public FileSystem::HeldFile {
public:
    PosixHeldFile(Fd fd, const struct stat& st)
        : m_fd(std::move(fd))
        , m_device(st.st_dev)
        , m_inode(st.st_ino) {}
    bool is(const struct stat& st) const { return st.st_dev == m_device && st.st_ino == m_inode; }

private:
    Fd m_fd;
    dev_t m_device;
    ino_t m_inode;
};

} // namespace

FileSystem::Privacy PosixFileSystem::readPrivateFile(std::string_view path,
                                                     const std::function<void(std::span<const char>)>& sink) {
    const std::string native = find(path).native;
    const Place at = native.empty() ? Place{} : place(native);
    if (!at) {
        return native.empty() ? Privacy::Missing : privacyOfError(errno);
    }
    // The folder it is opened in and the file as opened: what is checked is what is read.
    struct stat folder {};
    if (::fstat(at.fd(), &folder) != 0) {
        return Privacy::Unknown;
    }
    if (const Privacy found = privacyOf(folder); found != Privacy::Private) {
        return found;
    }
    Fd fd(openAtRetrying(at.fd(), at.name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        return privacyOfError(errno);
    }
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1) {
        return Privacy::NotPlainFile;
    }
    if (const Privacy found = privacyOf(st); found != Privacy::Private) {
        return found;
    }
    const bool read = readPieces(fd.get(), [&sink](std::span<const char> piece) {
        sink(piece);
        return true;
    });
    return read ? Privacy::Private : Privacy::Unknown;
}

std::unique_ptr<FileSystem::HeldFile>
PosixFileSystem::readAndHold(std::string_view path, const std::function<void(std::span<const char>)>& sink) {
    Fd fd(openExisting(path, O_RDONLY));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        fail(fd.valid() ? EINVAL : errno);
        return nullptr;
    }
    const bool read = readPieces(fd.get(), [&sink](std::span<const char> piece) {
        sink(piece);
        return true;
    });
    if (!read) {
        fail(errno);
        return nullptr;
    }
    return std::make_unique<PosixHeldFile>(std::move(fd), st);
}

bool PosixFileSystem::leadsTo(std::string_view path, const HeldFile& file) {
    const auto* held = dynamic_cast<const PosixHeldFile*>(&file);
    const std::string spelled = m_paths.spelledPath(path);
    std::optional<struct stat> st = spelled.empty() ? std::nullopt : statPlaced(spelled);
    if (!st && !spelled.empty()) {
        st = statPlaced(m_paths.resolveMissing(spelled));
    }
    return held != nullptr && st && held->is(*st);
}

} // namespace hotfix::posix
