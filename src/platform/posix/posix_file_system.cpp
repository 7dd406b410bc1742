#include "platform/posix/posix_file_system.hpp"

#include "platform/posix/posix_file_system_parts.hpp"
#include "platform/posix/posix_io.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace hotfix::posix {

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
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {openFolder("."), path};
    }
    if (path == "/") {
        return {openFolder("/"), "."};
    }
    return {openFolder(slash == 0 ? std::string("/") : path.substr(0, slash)), path.substr(slash + 1)};
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

FileError errnoError(int error) {
    // The log says plainly why a link below a root stopped the file.
    return {error,
            error == ELOOP ? "a symbolic link, which the installer never follows" : std::strerror(error),
            false};
}

} // namespace hotfix::posix
