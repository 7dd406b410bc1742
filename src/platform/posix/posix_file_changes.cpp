#include "platform/posix/posix_file_system.hpp"
#include "platform/posix/posix_file_system_parts.hpp"
#include "platform/posix/posix_io.hpp"
#include "platform/temporary_name.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

// PosixFileSystem's changes: attributes, copies, hard links, renames, the flush, removals, new files and
// folders.
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

// A copy carries only these: set-user-id, set-group-id and sticky bits from a package must not reach the
// workstation.
constexpr mode_t kCopiedBits = 0777;
// From this size on a copy's write-back is started as soon as it is written: a small file is not worth the
// call.
constexpr off_t kEarlyWriteBack = off_t{1} << 20;

std::string kernelRelease() {
    struct utsname name {};
    return ::uname(&name) == 0 ? std::string(name.release) : std::string();
}

enum class Kinds { Files, FilesAndFolders };

// Changes the permission bits of the file itself, through a descriptor of it, never through a link: a link
// planted at the name fails with ELOOP. Set-user-id and set-group-id are never added: attributes put back
// must not make a program run as its owner.
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

FileResult PosixFileSystem::setAttributes(std::string_view path, FileAttributes attributes) {
    const auto [native, st] = find(path);
    const auto mode = static_cast<mode_t>(attributes.bits & kPermissionBits);
    // Marks that are as asked already are left alone: no call changes nothing.
    if (!st) {
        return errnoError(ENOENT);
    }
    if ((st->st_mode & kPermissionBits) == mode) {
        return {};
    }
    forget(native);
    const Place at = place(native);
    if (at && changeMode(at.fd(), at.name, mode, Kinds::FilesAndFolders)) {
        return {};
    }
    return errnoError(errno);
}

FileResult PosixFileSystem::clearAttributes(std::string_view path) {
    const auto [native, st] = find(path);
    if (!st || S_ISDIR(st->st_mode)) {
        return errnoError(st ? EISDIR : ENOENT);
    }
    forget(native);
    const Place at = place(native);
    if (at && changeMode(at.fd(), at.name, (st->st_mode & kPermissionBits) | S_IWUSR, Kinds::Files)) {
        return {};
    }
    return errnoError(errno);
}

FileResult PosixFileSystem::copyFileToNew(std::string_view from, std::string_view to) {
    return copy(from, to);
}

FileResult PosixFileSystem::copyFileToNewThrough(std::string_view from, std::string_view to, ByteSink& sink) {
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

FileResult PosixFileSystem::copy(std::string_view from, std::string_view to, ByteSink* sink) {
    Fd in(openExisting(from, O_RDONLY));
    if (!in.valid()) {
        return errnoError(errno);
    }
    // The source's attributes as a run has seen them; a folder that took its place since fails the first
    // read.
    const std::optional<struct stat> source = find(from).status;
    if (!source || S_ISDIR(source->st_mode)) {
        return errnoError(source ? EISDIR : ENOENT);
    }
    // The copy carries the source's attributes, read-only included, as a Windows copy does. It is made with
    // them, and the one look at what the umask left is what a run knows of the new file.
    const mode_t marks = source->st_mode & kCopiedBits;
    std::string target;
    Fd out(createNew(to, marks, target));
    if (!out.valid()) {
        return errnoError(errno);
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
        const FileError error = errnoError(errno);
        // A half-written file of our own making would pass for a complete one.
        unlinkPlaced(target);
        m_paths.noteRemoved(target);
        forget(target);
        return error;
    }
    made.st_mode = (made.st_mode & ~kPermissionBits) | marks;
    remember(target, {made, made});
    return {};
}

FileSystem::LinkResult PosixFileSystem::linkFile(std::string_view existing, std::string_view newName) {
    // The entry itself is looked at, not what a link leads to: a hard link of a symbolic link is a link
    // too, which would follow whatever becomes of the target and hold no bytes of its own. Such a file is
    // backed up as a copy, which fails on the link.
    std::string source = m_paths.spelledPath(existing);
    Seen itself = source.empty() ? Seen{} : look(source);
    if (!source.empty() && !itself.entry) {
        source = m_paths.resolveMissing(source);
        itself = source.empty() ? Seen{} : look(source);
    }
    if (!itself.entry || S_ISDIR(itself.entry->st_mode)) {
        return {LinkOutcome::Failed, errnoError(!itself.entry ? ENOENT : EISDIR)};
    }
    if (S_ISLNK(itself.entry->st_mode)) {
        return {LinkOutcome::Unsupported, errnoError(ELOOP)};
    }
    const std::string target = find(newName).native;
    const Place from = place(source);
    const Place to = from ? place(target) : Place{};
    if (!from || !to) {
        return {LinkOutcome::Failed, errnoError(errno)};
    }
    if (::linkat(from.fd(), from.name.c_str(), to.fd(), to.name.c_str(), 0) == 0) {
        m_paths.noteCreated(target);
        // One file under two names: what was seen of it holds for both, and a change through either name
        // must reach the other.
        ++itself.entry->st_nlink;
        itself.status = itself.entry;
        remember(source, itself);
        remember(target, itself);
        return {};
    }
    // FAT and some network file systems have no hard links; a file at its link limit takes no more.
    const int error = errno;
    switch (error) {
    case EPERM:
    case EOPNOTSUPP:
    case ENOSYS:
    case EMLINK:
    case EXDEV:
        return {LinkOutcome::Unsupported, errnoError(error)};
    default:
        return {LinkOutcome::Failed, errnoError(error)};
    }
}

FileResult PosixFileSystem::moveFile(std::string_view from, std::string_view to, Overwrite overwrite) {
    const auto [source, sourceStat] = find(from);
    const auto [target, targetStat] = find(to);
    if (!sourceStat || S_ISDIR(sourceStat->st_mode) || (targetStat && S_ISDIR(targetStat->st_mode))) {
        return errnoError(sourceStat ? EISDIR : ENOENT);
    }
    if (overwrite == Overwrite::Never && targetStat) {
        return errnoError(EEXIST);
    }
    const Place a = place(source);
    const Place b = a ? place(target) : Place{};
    if (!a || !b) {
        return errnoError(errno);
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
            return {};
        }
    }
    if (!moved) {
        return errnoError(errno);
    }
    m_paths.noteRemoved(source);
    m_paths.noteCreated(target);
    this->moved(source, target);
    return {};
}

FileResult PosixFileSystem::flush(std::span<const std::string> paths) {
    return flush(paths, Durable::BytesAndNames);
}

FileResult PosixFileSystem::flushNames(std::span<const std::string> paths) {
    return flush(paths, Durable::Names);
}

FileResult PosixFileSystem::flush(std::span<const std::string> paths, Durable durable) {
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
            return errnoError(native.empty() ? ENOENT : errno);
        }
        // A file that is gone has its removal made durable with its folder.
        Fd file(status ? openAtRetrying(at.fd(), at.name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK) : -1);
        const int fd = status ? file.get() : at.fd();
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            return errnoError(errno);
        }
        if (synced.contains(st.st_dev)) {
            continue;
        }
        if (m_flushPolicy == FlushPolicy::ByFileSystem && !notBarriers.contains(st.st_dev)) {
            struct statfs fileSystem {};
            if (::fstatfs(fd, &fileSystem) != 0) {
                return errnoError(errno);
            }
            if (syncfsIsBarrier(static_cast<unsigned long>(fileSystem.f_type), kernelRelease())) {
                if (::syncfs(fd) != 0) {
                    return errnoError(errno);
                }
                synced.insert(st.st_dev);
                continue;
            }
            notBarriers.insert(st.st_dev);
        }
        if (status && durable == Durable::BytesAndNames && ::fsync(fd) != 0) {
            return errnoError(errno);
        }
        folders.emplace(folderOf(withoutTrailingSlashes(native)), at.folder);
    }
    for (const auto& [folder, fd] : folders) {
        if (::fsync(fd->get()) != 0) {
            return errnoError(errno);
        }
    }
    return {};
}

FileResult PosixFileSystem::removeName(std::string_view path) {
    const std::string native = nativePath(path);
    const Place at = native.empty() ? Place{} : place(native);
    struct stat itself {};
    if (!at || ::fstatat(at.fd(), at.name.c_str(), &itself, AT_SYMLINK_NOFOLLOW) != 0) {
        return errnoError(native.empty() ? ENOENT : errno);
    }
    if (S_ISDIR(itself.st_mode)) {
        return errnoError(EISDIR);
    }
    if (::unlinkat(at.fd(), at.name.c_str(), 0) != 0) {
        return errnoError(errno);
    }
    m_paths.noteRemoved(native);
    forget(native);
    return {};
}

FileResult PosixFileSystem::deleteFile(std::string_view path) {
    const std::string native = nativePath(path);
    const Place at = native.empty() ? Place{} : place(native);
    struct stat st {};
    if (!at || ::fstatat(at.fd(), at.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errnoError(native.empty() ? ENOENT : errno);
    }
    if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && isReadOnly(st))) {
        return errnoError(S_ISDIR(st.st_mode) ? EISDIR : EACCES);
    }
    if (::unlinkat(at.fd(), at.name.c_str(), 0) != 0) {
        return errnoError(errno);
    }
    m_paths.noteRemoved(native);
    forget(native);
    return {};
}

FileResult PosixFileSystem::createTextFile(std::string_view path) {
    const std::string native = nativePath(path);
    if (native.empty()) {
        return errnoError(ENOENT);
    }
    // O_EXCL: a file that is there, or appears meanwhile, is never emptied; it may be a running script.
    Fd fd(openPlaced(native, O_WRONLY | O_CREAT | O_EXCL, 0644));
    forget(native);
    if (!fd.valid()) {
        return errnoError(errno);
    }
    m_paths.noteCreated(native);
    if (!fd.close()) {
        const FileError error = errnoError(errno);
        unlinkPlaced(native);
        m_paths.noteRemoved(native);
        return error;
    }
    return {};
}

FileResult PosixFileSystem::appendToFile(std::string_view path, std::string_view bytes) {
    const std::string native = nativePath(path);
    forget(native);
    Fd fd(native.empty() ? -1 : openPlaced(native, O_WRONLY | O_APPEND | O_NONBLOCK));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        return errnoError(native.empty() ? ENOENT : errno);
    }
    // Checked on the file it writes to: Windows appends to no read-only file, root on POSIX would.
    if (!S_ISREG(st.st_mode) || isReadOnly(st)) {
        return errnoError(S_ISREG(st.st_mode) ? EACCES : EINVAL);
    }
    if (writeAll(fd.get(), bytes.data(), bytes.size()) && fd.close()) {
        return {};
    }
    return errnoError(errno);
}

FileResult PosixFileSystem::createFolders(std::string_view path) {
    const std::string native = withoutTrailingSlashes(nativePath(path));
    if (native.empty()) {
        return errnoError(ENOENT);
    }
    // The missing levels, found deepest first and made outermost first. A link where a folder should be
    // counts as there, and fails the end: a folder of the installer's is never one a link leads to.
    std::vector<std::string> missing;
    for (std::string level = native; !statPlaced(level); level = folderOf(level)) {
        if (level == "/" || level == "." || errno == ELOOP) {
            return errnoError(errno == ELOOP ? ELOOP : ENOENT);
        }
        missing.push_back(level);
    }
    std::reverse(missing.begin(), missing.end());
    for (const std::string& level : missing) {
        forget(level);
        const Place at = place(level);
        if (!at) {
            return errnoError(errno);
        }
        if (::mkdirat(at.fd(), at.name.c_str(), 0777) != 0) {
            if (errno != EEXIST) {
                return errnoError(errno);
            }
            continue;
        }
        m_paths.noteCreated(level);
        // A record written below a new folder must not vanish with the folder's name after a power cut.
        if (::fsync(at.fd()) != 0) {
            return errnoError(errno);
        }
    }
    const auto st = statPlaced(native);
    if (!st || !S_ISDIR(st->st_mode)) {
        return errnoError(st ? ENOTDIR : errno);
    }
    return {};
}

} // namespace hotfix::posix
