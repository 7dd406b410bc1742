#pragma once

#include "platform/byte_sink.hpp"
#include "platform/file_error.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hotfix {

// Platform-specific attribute bits (Windows attribute flags, POSIX mode bits), kept only to be put back.
struct FileAttributes {
    std::uint32_t bits = 0;
    friend bool operator==(FileAttributes, FileAttributes) = default;
};

// The file work of the installer, in the four groups its callers use: reading, looking, changing, and the
// records' store. Paths arrive as the engine joined them, Windows-style, in UTF-8: a run of "\" counts as one
// separator. Every operation is synchronous; failures are results, never exceptions.

// Reading files: what the list files and the package's checks need.
class FileReader {
public:
    virtual ~FileReader() = default;

    virtual bool fileExists(std::string_view path) = 0;
    virtual bool folderExists(std::string_view path) = 0;

    // Hands the file's bytes, from start to end, to sink a piece at a time (pieces of any size); false when
    // the file cannot be opened or read to its end (sink may have had part of it then).
    virtual bool readFile(std::string_view path, const std::function<void(std::span<const char>)>& sink) = 0;
    // Whether both files hold the same bytes. Every byte of first goes to firstSink, once and in order, to
    // its end; second is read only as far as the files agree, and not at all where their sizes differ.
    // Nothing when either cannot be opened or read (firstSink may have had part of first then). This
    // fallback holds first's bytes to compare them; the backends read both files side by side.
    virtual std::optional<bool> sameBytes(std::string_view first, std::string_view second,
                                          ByteSink& firstSink) {
        std::string held;
        if (!readFile(first, [&](std::span<const char> piece) {
                firstSink.take(piece);
                held.append(piece.data(), piece.size());
            })) {
            return std::nullopt;
        }
        std::size_t at = 0;
        bool agree = true;
        if (!readFile(second, [&](std::span<const char> piece) {
                agree = agree && piece.size() <= held.size() - at &&
                        held.compare(at, piece.size(), piece.data(), piece.size()) == 0;
                at += piece.size();
            })) {
            return std::nullopt;
        }
        return agree && at == held.size();
    }
};

// Looking at files without reading them.
class FileLooks {
public:
    virtual ~FileLooks() = default;

    // The names of the folders straight inside path (never "." or ".."), for a look at what the installer
    // keeps there; nothing where path is no folder or cannot be read.
    virtual std::optional<std::vector<std::string>> subfolderNames(std::string_view path) {
        (void)path;
        return std::nullopt;
    }

    // Whether both paths lead to one file (one name twice, two spellings, or two links).
    virtual bool sameFile(std::string_view first, std::string_view second) = 0;

    virtual std::optional<FileAttributes> attributes(std::string_view path) = 0;

    // Tells files apart for as long as they exist: two paths give the same key exactly when they name one
    // file, and a file made later at the same path gives another key. Nothing when nothing is there.
    virtual std::optional<std::string> identity(std::string_view path) = 0;
};

// Changing files: attributes, copies, hard links, renames, the flush, removals, new files and folders. Each
// call that fails says why in its result.
class FileChanges {
public:
    virtual ~FileChanges() = default;

    virtual FileResult setAttributes(std::string_view path, FileAttributes attributes) = 0;
    // Clears read-only, hidden, system and archive attributes so that the file can be overwritten.
    virtual FileResult clearAttributes(std::string_view path) = 0;

    // Copies one file to a path where nothing exists yet, with the source's attributes (read, write and
    // execute bits on POSIX), and fails, changing nothing, where something does:
    // a wrong "not there" must never let a copy overwrite a file that has no backup. The test and the
    // creation are one step. A copy that breaks off removes what it wrote. Nothing is flushed.
    virtual FileResult copyFileToNew(std::string_view from, std::string_view to) = 0;
    // copyFileToNew that hands every byte it copies to sink as well, once and in order, so that a digest of
    // the copy costs no second read. Fails as copyFileToNew (sink may have had part of the bytes then).
    virtual FileResult copyFileToNewThrough(std::string_view from, std::string_view to, ByteSink& sink) = 0;

    // Gives the file at existing a hard link (a second name), never replacing anything at newName.
    // Unsupported where the file system has no such names, and for a symbolic link or other reparse point,
    // whose hard link would hold no bytes of its own.
    enum class LinkOutcome { Linked, Unsupported, Failed };
    struct LinkResult {
        LinkOutcome outcome = LinkOutcome::Linked;
        // Why not, where it is Unsupported or Failed.
        FileError error;
    };
    virtual LinkResult linkFile(std::string_view existing, std::string_view newName) = 0;

    // Renames a file within its folder in one step. Overwrite::Never fails where anything exists at to;
    // Overwrite::Existing replaces the file there whatever its attributes: the caller has decided to replace
    // it. A failure because a running program holds the file at to says so (FileError::inUse).
    enum class Overwrite { Never, Existing };
    virtual FileResult moveFile(std::string_view from, std::string_view to, Overwrite overwrite) = 0;

    // Makes the content of these files durable, and the names of the folders they are in as those folders
    // stand now: added, renamed and removed names alike, also for a path whose file is gone. On the disk
    // when this succeeds. One call for many files costs far less than one per file.
    virtual FileResult flush(std::span<const std::string> paths) = 0;
    // flush for files whose content is durable already, under the name each had when it was flushed, and
    // that have been renamed since: only the names their folders hold now are made durable, which the
    // platform can do with one flush per folder or volume instead of one per file.
    virtual FileResult flushNames(std::span<const std::string> paths) { return flush(paths); }

    virtual FileResult deleteFile(std::string_view path) = 0;
    // Removes this name of a file whatever its read-only attribute, without lifting it: the file's other
    // names keep their attributes at every moment. Fails where the name is not there, or where the platform
    // can do this only by lifting the attribute (Windows before 10 1809).
    virtual FileResult removeName(std::string_view path) = 0;

    // Creates an empty text file where nothing exists yet, in one step; fails, leaving whatever is there as
    // it is, where something does. A file it made but could not complete is removed again.
    virtual FileResult createTextFile(std::string_view path) = 0;
    // Appends the bytes to the end of a file that is there and not read-only, without flushing them.
    virtual FileResult appendToFile(std::string_view path, std::string_view bytes) = 0;

    // Makes the folder and every missing folder above it; succeeds when it is there afterwards (also when
    // it was).
    virtual FileResult createFolders(std::string_view path) = 0;
};

// The records' store: the installer's own files below the machine's shared data folder, whose content
// decides what a restore overwrites, removes and registers.
class RecordStore {
public:
    virtual ~RecordStore() = default;

    // Appends lines (bytes ending in a line break) to the end of the file, making the file where it is
    // missing, and makes them durable: on the disk, with the file's name, when this succeeds. A failed
    // append may leave part of the bytes at the end of the file, as a full disk does; what an earlier append
    // left after the file's last line break is dropped before the bytes go on, so that only a file's last
    // line can ever be cut off. The file itself is never reached through a link.
    virtual FileResult appendDurably(std::string_view path, std::string_view bytes) = 0;

    // Whether the installer may trust a file or folder of its own below the machine's shared data folder.
    enum class Privacy {
        Private,
        Missing,
        // A symbolic link, a junction or another reparse point.
        Link,
        ForeignOwner,
        // An account other than its owner, the administrators and the system may change it.
        OthersMayWrite,
        // It could not be looked at.
        Unknown,
        // Not a plain file of its own: a pipe, a device, or a file with a hard link elsewhere.
        NotPlainFile,
    };
    // Makes the folder (whose parent exists) so that only the administrators and the system, and on POSIX
    // its owner, may change it, nothing inherited from above; a folder there already, of this account or the
    // administrators, gets the same protection. Anything else is left as it is and its Privacy given.
    virtual Privacy makePrivateFolder(std::string_view path) = 0;
    // Looks at the file or folder itself, never through a link.
    virtual Privacy privacy(std::string_view path) = 0;

    // readFile for a file of the installer's own whose content decides what a run does (the install record):
    // read only where the file, as opened, is private (a plain file with no other name, of this account, that
    // nobody else may change) and so is the folder it was opened in; otherwise nothing is read and the
    // reason is given. The check and the read are one: nothing can be swapped in between.
    virtual Privacy readPrivateFile(std::string_view path,
                                    const std::function<void(std::span<const char>)>& sink) = 0;

    // A file held open from the read that decides an act to the check after it: while it is held no other
    // file can take its identity, so leadsTo tells for certain whether the act reached this very file.
    class HeldFile {
    public:
        virtual ~HeldFile() = default;
        std::string identity;
    };
    // Reads the whole file to sink and keeps it; nothing when it cannot be read to its end, or changed
    // while it was read.
    virtual std::unique_ptr<HeldFile> readAndHold(std::string_view path,
                                                  const std::function<void(std::span<const char>)>& sink) = 0;
    // Whether the name leads to the held file itself now (not a copy of it, and not through a link).
    virtual bool leadsTo(std::string_view path, const HeldFile& file) = 0;
};

// All four, for one run over a machine's files. The calls that cross the groups have their plain forms
// here; the backends do better.
class FileSystem : public FileReader, public FileLooks, public FileChanges, public RecordStore {
public:
    FileResult copyFileToNewThrough(std::string_view from, std::string_view to, ByteSink& sink) override {
        if (FileResult copied = copyFileToNew(from, to); !copied) {
            return copied;
        }
        if (!readFile(to, [&sink](std::span<const char> piece) { sink.take(piece); })) {
            return FileError{0, "the copy could not be read back", false};
        }
        return {};
    }

    Privacy readPrivateFile(std::string_view path,
                            const std::function<void(std::span<const char>)>& sink) override {
        if (const Privacy found = privacy(path); found != Privacy::Private) {
            return found;
        }
        return readFile(path, sink) ? Privacy::Private : Privacy::Unknown;
    }

    std::unique_ptr<HeldFile> readAndHold(std::string_view path,
                                          const std::function<void(std::span<const char>)>& sink) override {
        auto held = std::make_unique<HeldFile>();
        const std::optional<std::string> before = identity(path);
        if (!before || !readFile(path, sink) || identity(path) != before) {
            return nullptr;
        }
        held->identity = *before;
        return held;
    }
    bool leadsTo(std::string_view path, const HeldFile& file) override {
        return identity(path) == file.identity;
    }

    // From beginRun to the matching endRun the file system may answer a look from what it has seen before:
    // the names in a folder, a file's kind, attributes and size. A run changes the files it looks at only
    // through this object, which keeps what it has seen true to its own changes; a change that another
    // program makes meanwhile meets the operations that fail by themselves (a create, link or rename that
    // never replaces), as it did between a look and the operation after it. identity always looks afresh.
    // Runs may nest.
    virtual void beginRun() {}
    virtual void endRun() {}

    // From now on every name below these folders (a run's roots, the package's and the records' folders) is
    // resolved by the file system itself, one name at a time, never through a link, symbolic link or
    // junction: one met there fails the call. The folders themselves are taken as their paths lead now.
    virtual void confineBelow(std::span<const std::string> roots) { (void)roots; }
};

// One run of the installer over the files (FileSystem::beginRun), for as long as it lives.
class FileSystemRun {
public:
    explicit FileSystemRun(FileSystem& fs)
        : m_fs(fs) {
        m_fs.beginRun();
    }
    FileSystemRun(const FileSystemRun&) = delete;
    FileSystemRun& operator=(const FileSystemRun&) = delete;
    ~FileSystemRun() { m_fs.endRun(); }

private:
    FileSystem& m_fs;
};

// The whole content of a file; nothing when it cannot be read to its end.
inline std::optional<std::string> readWholeFile(FileReader& fs, std::string_view path) {
    std::string content;
    if (!fs.readFile(
            path, [&content](std::span<const char> piece) { content.append(piece.data(), piece.size()); })) {
        return std::nullopt;
    }
    return content;
}

} // namespace hotfix
