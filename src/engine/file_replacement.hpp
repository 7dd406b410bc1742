#pragma once

#include "engine/digest_worker.hpp"
#include "engine/engine_services.hpp"
#include "engine/installer_window.hpp"
#include "engine/listed_file.hpp"
#include "engine/side.hpp"
#include "platform/file_system.hpp"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>
#include <variant>
#include <vector>

namespace hotfix {

// What an install does with a listed file. One decision serves --check, which prints it, and the install,
// which carries it out.
enum class PlannedAction {
    // Backed up and replaced by the package's file.
    Replace,
    // Nothing installed: the package's file is copied in.
    CopyNew,
    // Nothing installed, and nowhere to put it or nothing to put there: passed over without a word.
    PassOverFolderMissing,
    PassOverPackageFileMissing,
    // Installed, but the package lacks the file: backed up, left in place, and reported.
    BackUpOnlyPackageFileMissing,
    // Installed, but it cannot be replaced: every backup name is taken, or the root is the package itself.
    RefusedNoBackupName,
    RefusedPackageIsRoot,
    // Unattended only: the installed file holds the package's bytes already; nothing is done.
    AlreadyInPlace,
    // Unattended only: a running program holds the installed file, and a complete copy of the package's
    // bytes, queued by an earlier run, replaces it at the next restart; nothing is done.
    WaitingForRestart,
};

// A listed file with its decision and every name the install will create for it beside the destination.
struct PlannedFile {
    ListedFile file;
    PlannedAction action = PlannedAction::CopyNew;
    // For Replace and BackUpOnlyPackageFileMissing.
    std::string backup;
    // Where the new content is written first (Replace, CopyNew).
    std::string temporary;
    // Where a backup copy is written first: always for BackUpOnlyPackageFileMissing, and for Replace where
    // the file system has no hard links.
    std::string backupTemporary;
    FileAttributes originalMarks;
    // The installed file's digest where the decision had to read it (unattended), so that it is read once.
    std::optional<PendingDigest> installedSha256;
};

// Decides what the install does with the listed file, from the disk as it stands and the suffix the checks
// settled; a backup left beside a file that is not installed switches the run to the date suffix, as it
// always has. Unattended, an installed file that holds the package's bytes is in place already. Nothing on
// the disk changes.
PlannedFile planListedFile(const ListedFile& file, InstallerWindow& window, const EngineServices& services);

// A listed file whose new content (or backup copy) is written beside its place, complete but not yet
// flushed or named.
struct StagedFile {
    PlannedFile plan;
    // The backup waits in plan.backupTemporary as a copy: the file system gives no hard links.
    bool backupCopied = false;
    // The digests of the bytes written while staging: the new content, and the original where its backup
    // was copied. Taken as the bytes went by, so that nothing is read again for the record.
    std::optional<PendingDigest> newSha256;
    std::optional<PendingDigest> originalSha256;
};

// What must be on the disk before a batch changes anything: the record's entries, through which a run cut
// off at any point can be undone.
class BatchJournal {
public:
    virtual ~BatchJournal() = default;
    // Every name the batch is about to create; false (the user told) when that cannot be made durable.
    virtual bool beforeStaging(std::span<const PlannedFile> planned) = 0;
    // How to undo each staged file, before any is put in place; false (the user told) when that cannot be
    // made durable.
    virtual bool beforeReplacing(std::span<const StagedFile> staged) = 0;
};

// Files staged together and put in place together. One flush makes every new content and every backup
// durable before any installed file is replaced, so that a replaced file always has a complete backup on
// the disk, without waiting for the disk once per file.
class ReplacementBatch {
public:
    // What became of a file, and for a failure the system's reason where it is known.
    using Settle = std::function<void(const ListedFile&, FileOutcome, std::string_view reason)>;

    explicit ReplacementBatch(const EngineServices& services, BatchJournal* journal = nullptr)
        : m_services(services)
        , m_journal(journal) {}

    bool empty() const { return m_planned.empty(); }
    // Whether a file of the batch goes to this destination (spelled in any case): such a file must be in
    // place before the destination is looked at again.
    bool holds(std::string_view destination) const;
    void add(PlannedFile planned);

    // Journals the names, stages every file (a refused one is reported), flushes, journals how to undo them,
    // puts them in place in the order added and reports each one's outcome. Empties the batch. False when the
    // batch could not be journalled or made durable (the user has been told). staged is told each time a
    // file's slow part, its copies, is done.
    bool commit(const Settle& outcome, const std::function<void()>& staged = {});

private:
    // The destination as Windows compares names: separators and ASCII letters' case do not count.
    static std::string folded(std::string_view destination);
    std::variant<FileOutcome, StagedFile> stage(const PlannedFile& planned);
    // Flushes, journals and puts the staged files in place.
    bool putInPlace(const std::vector<StagedFile>& staged, const Settle& outcome);
    FileOutcome placeOne(const StagedFile& staged);
    FileOutcome replaceAtRestart(const StagedFile& staged);

    const EngineServices& m_services;
    BatchJournal* m_journal;
    std::vector<PlannedFile> m_planned;
    // Why the last step that failed, failed.
    std::string m_reason;
    std::unordered_set<std::string> m_destinations;
};

// Removes a backup name, also where it is a hard link of the installed file; the installed file keeps
// its attributes.
void removeBackupName(FileSystem& fs, const std::string& backup, const std::string& installed,
                      FileAttributes marks);

// Removes a file the installer made (a temporary, or a copy it placed), lifting a read-only attribute it may
// have brought from the package's medium. Succeeds when nothing is left there.
FileResult removeOwnFile(FileSystem& fs, const std::string& path);

// Backs up and replaces (or adds) item index of a side, on its own.
FileOutcome ReplaceListedFile(Side side, int index, InstallerWindow& window, const EngineServices& services);

} // namespace hotfix
