#include "platform/posix/posix_file_system.hpp"

#include "platform/compare_reading.hpp"
#include "platform/posix/code_page.hpp"
#include "platform/temporary_name.hpp"
#include "platform/text_codec.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

// Closes the descriptor it holds on every path out of a function.
class Fd {
public:
    explicit Fd(int fd)
        : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now and tells whether the data reached the file system.
    bool close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

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

std::optional<struct stat> statPath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return st;
}

bool isReadOnly(const struct stat& st) {
    return (st.st_mode & S_IWUSR) == 0;
}

// The folder that holds a native path's last entry.
std::string folderOf(const std::string& native) {
    const auto slash = native.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : native.substr(0, slash);
}

// A new entry's name reaches the disk only with its folder.
bool syncFolder(const std::string& folder) {
    Fd fd(openRetrying(folder, O_RDONLY | O_DIRECTORY));
    return fd.valid() && ::fsync(fd.get()) == 0;
}

// Opens a file for appending, never through a link, making it where it is missing (readable by its owner
// alone: what is appended is the installer's own); created tells which of the two happened.
int openForAppend(const std::string& native, bool& created) {
    for (;;) {
        const int fd = openRetrying(native, O_RDWR | O_APPEND | O_NOFOLLOW);
        if (fd >= 0 || errno != ENOENT) {
            created = false;
            return fd;
        }
        const int made = openRetrying(native, O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
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

} // namespace

int PosixFileSystem::openExisting(std::string_view path, int flags) {
    // Spelled as on the disk, which is the rule: the open itself says whether it is there, and only a name
    // spelled in another case costs a look at its folder.
    const std::string spelled = m_paths.spelledPath(path);
    if (spelled.empty()) {
        errno = ENOENT;
        return -1;
    }
    const int fd = openRetrying(spelled, flags);
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
    const int nativeFd = openRetrying(native, flags);
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
    }
}

void PosixFileSystem::endRun() {
    const std::lock_guard lock(m_seenMutex);
    if (--m_runs == 0) {
        m_seen.clear();
        m_symbolicLinksSeen = false;
        m_paths.trustListings(false);
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
    if (::lstat(native.c_str(), &st) == 0) {
        seen.entry = st;
        // Through a symbolic link, what it leads to; a broken one leads nowhere.
        if (!S_ISLNK(st.st_mode) || ::stat(native.c_str(), &st) == 0) {
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
    return ::chmod(native.c_str(), mode) == 0;
}

bool PosixFileSystem::clearAttributes(std::string_view path) {
    const auto [native, st] = find(path);
    if (!st || S_ISDIR(st->st_mode)) {
        return false;
    }
    forget(native);
    return ::chmod(native.c_str(), (st->st_mode & kPermissionBits) | S_IWUSR) == 0;
}

bool PosixFileSystem::copyFileToNew(std::string_view from, std::string_view to) {
    return copy(from, to);
}

bool PosixFileSystem::copyFileToNewThrough(std::string_view from, std::string_view to, ByteSink& sink) {
    return copy(from, to, &sink);
}

int PosixFileSystem::createNew(std::string_view path, mode_t mode, std::string& native) {
    // O_EXCL makes "nothing there" and the creation one step: a file that appears meanwhile is kept. The
    // installer's temporary names are unique by their random part, so for them that open is the whole look;
    // any other name may be there spelled in another case, which only the folder's listing tells.
    std::string spelled = m_paths.spelledPath(path);
    if (isTemporaryName(std::string_view(spelled).substr(spelled.rfind('/') + 1))) {
        const int fd = openRetrying(spelled, O_WRONLY | O_CREAT | O_EXCL, mode);
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
    return openRetrying(native, O_WRONLY | O_CREAT | O_EXCL, mode);
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
        ::unlink(target.c_str());
        m_paths.noteRemoved(target);
        forget(target);
        return false;
    }
    made.st_mode = (made.st_mode & ~kPermissionBits) | marks;
    remember(target, {made, made});
    return true;
}

bool PosixFileSystem::fail(int error) {
    m_lastError = std::strerror(error);
    return false;
}

FileSystem::LinkResult PosixFileSystem::linkFile(std::string_view existing, std::string_view newName) {
    // The entry itself is looked at, not what a link leads to: a second name of a symbolic link is a link
    // too, which would follow whatever becomes of the target and hold no bytes of its own. Such a file is
    // backed up as a copy.
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
    if (::link(source.c_str(), target.c_str()) == 0) {
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
    bool moved = false;
    if (overwrite == Overwrite::Existing) {
        moved = ::rename(source.c_str(), target.c_str()) == 0;
    } else if (targetStat) {
        return fail(EEXIST);
    } else if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        moved = true;
    } else if ((errno == EINVAL || errno == ENOSYS) && ::link(source.c_str(), target.c_str()) == 0) {
        // A file system without the flag: a link never replaces anything either. Once the link is made the
        // file is in place, whatever becomes of its old name, which is tried once more.
        moved = true;
        if (::unlink(source.c_str()) != 0 && ::unlink(source.c_str()) != 0) {
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
    std::set<std::string> folders;
    for (const std::string& path : paths) {
        const auto [native, status] = find(path);
        // A file that is gone has its removal made durable with its folder.
        const std::string opened = status ? native : folderOf(native);
        // A file system synced already in this call covers the file without opening it.
        const std::optional<struct stat> where = status ? status : statPath(opened);
        if (where && synced.contains(where->st_dev)) {
            continue;
        }
        Fd fd(native.empty() ? -1 : openRetrying(opened, O_RDONLY));
        struct stat st {};
        if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
            return fail(native.empty() ? ENOENT : errno);
        }
        if (synced.contains(st.st_dev)) {
            continue;
        }
        if (m_flushPolicy == FlushPolicy::ByFileSystem && !notBarriers.contains(st.st_dev)) {
            struct statfs fileSystem {};
            if (::fstatfs(fd.get(), &fileSystem) != 0) {
                return fail(errno);
            }
            if (syncfsIsBarrier(static_cast<unsigned long>(fileSystem.f_type), kernelRelease())) {
                if (::syncfs(fd.get()) != 0) {
                    return fail(errno);
                }
                synced.insert(st.st_dev);
                continue;
            }
            notBarriers.insert(st.st_dev);
        }
        if (status && durable == Durable::BytesAndNames && ::fsync(fd.get()) != 0) {
            return fail(errno);
        }
        folders.insert(folderOf(native));
    }
    return std::all_of(folders.begin(), folders.end(), syncFolder) || fail(errno);
}

bool PosixFileSystem::removeName(std::string_view path) {
    const std::string native = nativePath(path);
    struct stat itself {};
    if (native.empty() || ::lstat(native.c_str(), &itself) != 0 || S_ISDIR(itself.st_mode) ||
        ::unlink(native.c_str()) != 0) {
        return false;
    }
    m_paths.noteRemoved(native);
    forget(native);
    return true;
}

bool PosixFileSystem::deleteFile(std::string_view path) {
    const std::string native = nativePath(path);
    const auto st = statPath(native);
    if (!st || S_ISDIR(st->st_mode) || isReadOnly(*st)) {
        return fail(!st ? ENOENT : S_ISDIR(st->st_mode) ? EISDIR : EACCES);
    }
    if (::unlink(native.c_str()) != 0) {
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
    Fd fd(openRetrying(native, O_WRONLY | O_CREAT | O_EXCL, 0644));
    forget(native);
    if (!fd.valid()) {
        return false;
    }
    m_paths.noteCreated(native);
    if (!fd.close()) {
        ::unlink(native.c_str());
        m_paths.noteRemoved(native);
        return false;
    }
    return true;
}

bool PosixFileSystem::appendToFile(std::string_view path, std::string_view bytes) {
    const std::string native = nativePath(path);
    const auto st = statPath(native);
    if (!st || S_ISDIR(st->st_mode) || isReadOnly(*st)) {
        return fail(!st ? ENOENT : S_ISDIR(st->st_mode) ? EISDIR : EACCES);
    }
    forget(native);
    Fd fd(openRetrying(native, O_WRONLY | O_APPEND));
    return (fd.valid() && writeAll(fd.get(), bytes.data(), bytes.size()) && fd.close()) || fail(errno);
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
    std::string native = nativePath(path);
    while (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    if (native.empty()) {
        return false;
    }
    // The missing levels, found deepest first and made outermost first.
    std::vector<std::string> missing;
    for (std::string level = native; !statPath(level); level = folderOf(level)) {
        if (level == "/" || level == ".") {
            return false;
        }
        missing.push_back(level);
    }
    std::reverse(missing.begin(), missing.end());
    for (const std::string& level : missing) {
        forget(level);
        if (::mkdir(level.c_str(), 0777) != 0) {
            if (errno != EEXIST) {
                return false;
            }
            continue;
        }
        m_paths.noteCreated(level);
        // A record written below a new folder must not vanish with the folder's name after a power cut.
        if (!syncFolder(folderOf(level))) {
            return false;
        }
    }
    const auto st = statPath(native);
    return st && S_ISDIR(st->st_mode);
}

bool PosixFileSystem::appendDurably(std::string_view path, std::string_view bytes) {
    const std::string native = nativePath(path);
    if (native.empty()) {
        return false;
    }
    // Windows appends to no read-only file; root on POSIX would.
    if (const auto st = statPath(native); st && isReadOnly(*st)) {
        return false;
    }
    forget(native);
    bool created = false;
    Fd fd(openForAppend(native, created));
    if (!fd.valid()) {
        return fail(errno);
    }
    if (created) {
        m_paths.noteCreated(native);
    }
    return ((created || dropCutOffTail(fd.get())) && writeAll(fd.get(), bytes.data(), bytes.size()) &&
            ::fdatasync(fd.get()) == 0 && fd.close() && (!created || syncFolder(folderOf(native)))) ||
           fail(errno);
}

FileSystem::Privacy PosixFileSystem::makePrivateFolder(std::string_view path) {
    std::string native = nativePath(path);
    while (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    if (native.empty()) {
        return Privacy::Unknown;
    }
    forget(native);
    if (::mkdir(native.c_str(), 0700) == 0) {
        m_paths.noteCreated(native);
        // A record written below a new folder must not vanish with the folder's name after a power cut.
        return syncFolder(folderOf(native)) ? privacy(path) : Privacy::Unknown;
    }
    if (errno != EEXIST) {
        return errno == ENOENT ? Privacy::Missing : Privacy::Unknown;
    }
    // The folder itself, never one a link leads to, gets its owner's permissions alone.
    Fd folder(openRetrying(native, O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
    if (!folder.valid()) {
        // A link, or something else than a folder.
        const Privacy found = privacy(path);
        return found == Privacy::Private ? Privacy::Unknown : found;
    }
    struct stat st {};
    if (::fstat(folder.get(), &st) != 0) {
        return Privacy::Unknown;
    }
    if (const Privacy found = privacyOf(st); found == Privacy::Link || found == Privacy::ForeignOwner) {
        return found;
    }
    if ((st.st_mode & 077) != 0 && ::fchmod(folder.get(), 0700) != 0) {
        return Privacy::Unknown;
    }
    return Privacy::Private;
}

FileSystem::Privacy PosixFileSystem::privacy(std::string_view path) {
    std::string native = nativePath(path);
    while (native.size() > 1 && native.back() == '/') {
        native.pop_back();
    }
    struct stat st {};
    if (native.empty() || ::lstat(native.c_str(), &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? Privacy::Missing : Privacy::Unknown;
    }
    return privacyOf(st);
}

std::optional<std::string> PosixFileSystem::identity(std::string_view path) {
    // Afresh: a file of the same name made since the last look must give another key.
    const std::string native = find(path).native;
    const auto st = native.empty() ? std::nullopt : statPath(native);
    if (!st) {
        return std::nullopt;
    }
    // A new file may get a freed inode number again; its change time, to the nanosecond, tells it apart.
    return std::to_string(st->st_dev) + ":" + std::to_string(st->st_ino) + ":" +
           std::to_string(st->st_ctim.tv_sec) + "." + std::to_string(st->st_ctim.tv_nsec);
}

} // namespace hotfix::posix
