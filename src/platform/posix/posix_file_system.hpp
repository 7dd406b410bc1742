#pragma once

#include "platform/file_system.hpp"
#include "platform/posix/ansi_code_page.hpp"
#include "platform/posix/beneath.hpp"
#include "platform/posix/posix_io.hpp"
#include "platform/posix/posix_path_resolver.hpp"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace hotfix::posix {

// Whether one syncfs makes everything written to a file system durable and reports a failed write-back:
// true for the local file systems known to do so (statfs's f_type), from Linux 5.8 on.
bool syncfsIsBarrier(unsigned long fileSystemType, std::string_view kernelRelease);

// How flush makes files durable: by one syncfs per file system where that is a barrier, or file by file
// and folder by folder (fsync) everywhere.
enum class FlushPolicy { ByFileSystem, EachFile };

// Files as Windows' own file services treat them, on a POSIX file system: read-only is the missing owner
// write bit, and a read-only file is neither overwritten nor deleted until its attributes are cleared.
// Paths are found as Wine finds them in the prefix (see PosixPathResolver).
//
// Every call acts on the last name of its path relative to an open descriptor of the folder that holds it,
// and never through a link at that name. Below a drive of the prefix, and below the roots a run names
// (confineBelow), that folder is opened from the drive's or root's own descriptor one name at a time without
// following a link (openFolderBeneath): a link there fails the call (ELOOP), whoever swaps it in and when.
// Within a run the folders opened stay open, so that the folder a run looked in is the one it acts in.
class PosixFileSystem final : public FileSystem {
public:
    // Without a prefix only Z: (the root folder) and POSIX paths lead anywhere. The code pages are those of
    // the programs Wine runs (WinePrefix::codePages), or the ones given: a list file that is not UTF-8 is
    // read in the ANSI one, scripts are written in the OEM one, in which Wine's cmd reads them.
    PosixFileSystem()
        : PosixFileSystem(WinePrefix()) {}
    explicit PosixFileSystem(WinePrefix prefix)
        : m_paths(std::move(prefix)) {}

    bool fileExists(std::string_view path) override;
    bool folderExists(std::string_view path) override;
    std::optional<std::vector<std::string>> subfolderNames(std::string_view path) override;
    bool sameFile(std::string_view first, std::string_view second) override;
    std::optional<FileAttributes> attributes(std::string_view path) override;
    FileResult setAttributes(std::string_view path, FileAttributes attributes) override;
    FileResult clearAttributes(std::string_view path) override;
    FileResult copyFileToNew(std::string_view from, std::string_view to) override;
    FileResult copyFileToNewThrough(std::string_view from, std::string_view to, ByteSink& sink) override;
    LinkResult linkFile(std::string_view existing, std::string_view newName) override;
    FileResult moveFile(std::string_view from, std::string_view to, Overwrite overwrite) override;
    FileResult flush(std::span<const std::string> paths) override;
    FileResult flushNames(std::span<const std::string> paths) override;
    FileResult deleteFile(std::string_view path) override;
    FileResult removeName(std::string_view path) override;
    FileResult createTextFile(std::string_view path) override;
    FileResult appendToFile(std::string_view path, std::string_view bytes) override;
    bool readFile(std::string_view path, const std::function<void(std::span<const char>)>& sink) override;
    std::optional<bool> sameBytes(std::string_view first, std::string_view second,
                                  ByteSink& firstSink) override;
    FileResult createFolders(std::string_view path) override;
    FileResult appendDurably(std::string_view path, std::string_view bytes) override;
    Privacy makePrivateFolder(std::string_view path) override;
    Privacy privacy(std::string_view path) override;
    std::optional<std::string> identity(std::string_view path) override;
    void beginRun() override;
    void endRun() override;
    void confineBelow(std::span<const std::string> roots) override;
    Privacy readPrivateFile(std::string_view path,
                            const std::function<void(std::span<const char>)>& sink) override;
    std::unique_ptr<HeldFile> readAndHold(std::string_view path,
                                          const std::function<void(std::span<const char>)>& sink) override;
    bool leadsTo(std::string_view path, const HeldFile& file) override;

    // Where a Windows-style path lies on this machine.
    std::string nativePath(std::string_view path) { return m_paths.nativePath(path); }

    void useFlushPolicy(FlushPolicy policy) { m_flushPolicy = policy; }
    // How folders below a drive or root are opened; the kernel's way where it has one, unless told.
    void useWalk(BeneathWalk walk) { m_walk = walk; }

private:
    // What a look at a path found: the entry itself (lstat) and what it leads to (stat), which differ only
    // for a symbolic link. Within a run it is remembered; the run relies on the kind, attributes, size,
    // device and inode it holds, never on link counts or times.
    struct Seen {
        std::optional<struct stat> entry;
        std::optional<struct stat> status;
    };
    Seen look(const std::string& native);
    void remember(const std::string& native, const Seen& seen);
    void forget(const std::string& native);
    // A file renamed by this object is the same file under its new name.
    void moved(const std::string& from, const std::string& to);

    // An open folder below which names are resolved without following links: a registered root or a drive.
    // An anchor whose folder could not be opened has no fd, and nothing below it can be reached.
    struct Anchor {
        std::string native;
        std::shared_ptr<const Fd> fd;
    };
    // The open folder that holds a path's last name, and that name; no folder (errno set) where it cannot be
    // opened without following a link below its anchor.
    struct Place {
        std::shared_ptr<const Fd> folder;
        std::string name;
        explicit operator bool() const { return folder != nullptr; }
        int fd() const { return folder->get(); }
    };
    void findDrives();
    // The deepest anchor that holds the folder; an empty one where none does.
    Anchor anchorFor(const std::string& folder);
    std::optional<Anchor> exactAnchor(const std::string& native);
    std::shared_ptr<const Fd> openFolder(const std::string& folder);
    Place place(const std::string& native);
    // openat of the last name, never following a link there; -1 with errno set.
    int openPlaced(const std::string& native, int flags, mode_t mode = 0);
    bool unlinkPlaced(const std::string& native);
    // The entry itself (never what a link leads to), afresh.
    std::optional<struct stat> statPlaced(const std::string& native);

    struct Found {
        std::string native;
        std::optional<struct stat> status;
    };

    // Where a path lies and what is there. Most paths exist as spelled, and then one stat answers both.
    Found find(std::string_view path);
    // Opens a file that should be there, resolving the case of its name only where it is not there as
    // spelled; -1 with errno as open leaves it.
    int openExisting(std::string_view path, int flags);
    // Copies into a new file at to, where nothing may be, removing it again when the copy breaks off. With a
    // sink, the bytes pass through it on their way: read once (into the buffers it lends), written, handed
    // over.
    FileResult copy(std::string_view from, std::string_view to, ByteSink* sink = nullptr);
    // Creates a file for writing where nothing is under any case of its name, in one step, and says where
    // in native; -1 with errno as open leaves it (EEXIST where something is there).
    int createNew(std::string_view path, mode_t mode, std::string& native);
    // What a flush makes durable. Where syncfs is no barrier, only Bytes fsyncs each file; its folder always.
    enum class Durable { BytesAndNames, Names };
    FileResult flush(std::span<const std::string> paths, Durable durable);

    FlushPolicy m_flushPolicy = FlushPolicy::ByFileSystem;
    PosixPathResolver m_paths;
    // Guarded: a script's exit handler may remove its file from another thread.
    std::mutex m_seenMutex;
    int m_runs = 0;
    std::unordered_map<std::string, Seen> m_seen;
    bool m_symbolicLinksSeen = false;

    // Enough for the folders of a large hot fix; past it the run's open folders are closed and opened anew.
    static constexpr std::size_t kMaxOpenFolders = 256;
    BeneathWalk m_walk = BeneathWalk::Kernel;
    // Guarded: a script's exit handler may reach the file system from another thread.
    std::mutex m_anchorMutex;
    std::vector<Anchor> m_roots;
    std::optional<std::vector<Anchor>> m_drives;
    bool m_keepFolders = false;
    std::unordered_map<std::string, std::shared_ptr<const Fd>> m_folders;
};

} // namespace hotfix::posix
