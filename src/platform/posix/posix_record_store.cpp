#include "platform/compare_reading.hpp"
#include "platform/posix/posix_file_system.hpp"
#include "platform/posix/posix_file_system_parts.hpp"
#include "platform/posix/posix_io.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// PosixFileSystem's reading, and the records' store: durable appends, private folders and files read
// through the descriptor they were checked on.
namespace hotfix::posix {

namespace {

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
                const ssize_t got =
                    retryingInterrupts([&] { return ::read(fd, buffer + done, size - done); });
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

FileResult PosixFileSystem::appendDurably(std::string_view path, std::string_view bytes) {
    const std::string native = nativePath(path);
    const Place at = native.empty() ? Place{} : place(native);
    if (!at) {
        return errnoError(native.empty() ? ENOENT : errno);
    }
    forget(native);
    bool created = false;
    Fd fd(openForAppend(at.fd(), at.name, created));
    if (!fd.valid()) {
        return errnoError(errno);
    }
    if (created) {
        m_paths.noteCreated(native);
    }
    // The installer's own file alone, checked on the file it writes to: a plain file (a FIFO would never
    // end), with no hard link (through which another file would be cut and grown), and not read-only
    // (Windows appends to no such file; root on POSIX would).
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return errnoError(errno);
    }
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || isReadOnly(st)) {
        return errnoError(!S_ISREG(st.st_mode) ? EINVAL : st.st_nlink != 1 ? EMLINK : EACCES);
    }
    if ((created || dropCutOffTail(fd.get())) && writeAll(fd.get(), bytes.data(), bytes.size()) &&
        ::fdatasync(fd.get()) == 0 && fd.close() && (!created || ::fsync(at.fd()) == 0)) {
        return {};
    }
    return errnoError(errno);
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
        return nullptr;
    }
    const bool read = readPieces(fd.get(), [&sink](std::span<const char> piece) {
        sink(piece);
        return true;
    });
    if (!read) {
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
