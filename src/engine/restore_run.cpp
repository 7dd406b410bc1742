#include "engine/restore_run.hpp"

#include "engine/file_replacement.hpp"
#include "engine/install_checks.hpp"
#include "engine/install_record.hpp"
#include "engine/listed_file.hpp"
#include "engine/messages.hpp"
#include "engine/record_history.hpp"
#include "engine/registration_script.hpp"
#include "engine/sha256.hpp"
#include "engine/text.hpp"
#include "platform/byte_sink.hpp"
#include "platform/file_system.hpp"
#include "platform/files_in_use.hpp"
#include "platform/msg_box.hpp"

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <vector>

namespace hotfix {

namespace {

constexpr const char* kUnreadable = "the file could not be read";

using FileKey = std::pair<Side, std::string>;

// The record's text, or why it cannot be had.
enum class Reading { Read, Missing, TooLarge, Untrusted };

// Checked and read as one: the file read is the one found private, whatever is swapped in meanwhile.
Reading readRecord(const EngineServices& services, const std::string& path, std::string& text) {
    FileSystem& fs = services.fs;
    if (!fs.fileExists(path)) {
        return Reading::Missing;
    }
    bool tooLarge = false;
    const FileSystem::Privacy read = fs.readPrivateFile(path, [&](std::span<const char> piece) {
        if (text.size() + piece.size() > kRecordSizeLimit) {
            tooLarge = true;
        } else if (!tooLarge) {
            text.append(piece.data(), piece.size());
        }
    });
    if (tooLarge) {
        return Reading::TooLarge;
    }
    if (read == FileSystem::Privacy::Private || read == FileSystem::Privacy::Missing) {
        return read == FileSystem::Privacy::Private ? Reading::Read : Reading::Missing;
    }
    trustedRecordPart(services, path, read, false);
    return Reading::Untrusted;
}

// One file of one install on its way back, with what the installs before it left there.
class FileUndo {
public:
    FileUndo(const RecordedFile& file, const EngineServices& services)
        : m_file(file)
        , m_services(services)
        , m_fs(services.fs) {}

    // states: the originals that earlier installs replaced at this destination; absentBefore: an earlier
    // install (or this one) added it.
    // Whether the undo changed a name in the destination's folder, which must be made durable.
    bool changedNames() const { return m_changedNames; }
    // Why it failed: in the system's words where it told them.
    const std::string& reason() const { return m_reason; }

    RestoreAction run(const std::set<std::string>& earlierOriginals, bool absentBefore) {
        // A replacement still waiting for the restart is taken back before its new content goes, or the
        // restart would put whatever then had that name in the file's place.
        if (!cancelAtRestart()) {
            return failed(messages::couldNotCancelAtRestart(m_file.destination),
                          "the replacement at the restart could not be taken back");
        }
        // Whatever the run had not put in place yet is its own alone.
        removeOwn(m_file.temporary);
        removeOwn(m_file.backupTemporary);
        if (!m_file.journalled) {
            // The run was cut off, or gave up, before it changed the file: a backup name it made is a
            // hard link of the file as it was then.
            const bool removed = removeBackupHolding(currentDigest());
            putMarksBack();
            return removed ? RestoreAction::AsBefore : backupStays();
        }
        if (m_file.added()) {
            return undoAdded();
        }
        if (!m_fs.fileExists(m_file.destination)) {
            if (absentBefore) {
                return RestoreAction::AsBefore;
            }
            // Where a rename over a file is not one step (an SMB share mounted on Linux unlinks the file and
            // renames again), a run cut off between the two leaves no file, and the backup still whole.
            switch (putBackupInPlace(FileSystem::Overwrite::Never)) {
            case PutBack::Done:
                putMarksBack();
                return RestoreAction::Restored;
            case PutBack::Swapped:
                return swappedMeanwhile();
            case PutBack::NotOriginal:
            case PutBack::Failed:
                break;
            }
            return changedSince();
        }
        const std::optional<std::string> current = currentDigest();
        if (!current) {
            return failed(messages::couldNotRestore(m_file.destination, m_file.backup), kUnreadable);
        }
        if (*current == m_file.originalSha256) {
            const bool removed = removeBackupHolding(m_file.originalSha256);
            putMarksBack();
            return removed ? RestoreAction::AsBefore : backupStays();
        }
        if (earlierOriginals.contains(*current)) {
            // Further back already: a restore cut off midway came past this install.
            return removeBackupHolding(m_file.originalSha256) ? RestoreAction::AsBefore : backupStays();
        }
        if (*current != m_file.newSha256) {
            return changedSince();
        }
        // The backup is the original itself (a hard link of it, or its copy): renamed over the file in one
        // step, it is back with its bytes, and where it was a hard link with its times, owner and rights.
        switch (putBackupInPlace(FileSystem::Overwrite::Existing)) {
        case PutBack::NotOriginal:
            return failed(messages::backupNotOriginal(m_file.backup, m_file.destination),
                          "the backup does not hold the original bytes");
        case PutBack::Failed:
            return failed(messages::couldNotRestore(m_file.destination, m_file.backup), m_putBackError);
        case PutBack::Swapped:
            return swappedMeanwhile();
        case PutBack::Done:
            break;
        }
        putMarksBack();
        return RestoreAction::Restored;
    }

private:
    enum class PutBack { Done, NotOriginal, Failed, Swapped };

    // Renames the backup, read and found to be the original, over the destination, and confirms that the
    // rename moved that very file: a file swapped in under the backup's name between the read and the
    // rename is taken out of the destination's place again and never counts as restored.
    PutBack putBackupInPlace(FileSystem::Overwrite overwrite) {
        Sha256 hash;
        const std::unique_ptr<FileSystem::HeldFile> held =
            m_fs.readAndHold(m_file.backup, [&hash](std::span<const char> piece) { hash.update(piece); });
        if (!held || hash.hexDigest() != m_file.originalSha256) {
            return PutBack::NotOriginal;
        }
        if (const FileResult moved = m_fs.moveFile(m_file.backup, m_file.destination, overwrite); !moved) {
            m_putBackError = moved.error().text;
            return PutBack::Failed;
        }
        m_changedNames = true;
        if (m_fs.leadsTo(m_file.destination, *held)) {
            return PutBack::Done;
        }
        m_fs.moveFile(m_file.destination, m_file.backup, FileSystem::Overwrite::Never);
        return PutBack::Swapped;
    }

    RestoreAction swappedMeanwhile() {
        return failed(messages::couldNotRestore(m_file.destination, m_file.backup),
                      "another file took the backup's place while it was put back");
    }

    bool cancelAtRestart() {
        FilesInUse* const inUse = m_services.filesInUse;
        if (inUse == nullptr) {
            return true;
        }
        if (m_file.outcome == kAtRestartOutcome) {
            inUse->cancelRunAfterRestart(registrationAfterRestartName(m_file.destination));
        }
        return m_file.temporary.empty() || !m_fs.attributes(m_file.temporary) ||
               inUse->cancelAtRestart(m_file.temporary);
    }

    // The original's attributes, should a run cut off while a hard link of it had them lifted have lost them.
    void putMarksBack() {
        const std::optional<FileAttributes> now =
            m_file.marks ? m_fs.attributes(m_file.destination) : std::nullopt;
        if (now && now->bits != *m_file.marks) {
            m_fs.setAttributes(m_file.destination, FileAttributes{*m_file.marks});
        }
    }

    std::optional<std::string> currentDigest() const {
        return m_fs.fileExists(m_file.destination) ? fileSha256(m_fs, m_file.destination) : std::nullopt;
    }

    // A backup the install made that holds what is kept elsewhere anyway. False when it is still there: a
    // running program that holds the file (whose hard link it is) keeps every name of it.
    bool removeBackupHolding(const std::optional<std::string>& digest) {
        if (m_file.backup.empty() || !digest || digest->empty() || !m_fs.fileExists(m_file.backup) ||
            fileSha256(m_fs, m_file.backup) != digest) {
            return true;
        }
        const std::optional<FileAttributes> marks = m_fs.attributes(m_file.destination);
        removeBackupName(m_fs, m_file.backup, m_file.destination, marks.value_or(FileAttributes{}));
        m_changedNames = true;
        return !m_fs.attributes(m_file.backup);
    }

    // The file is as it was, but its backup could not go: said, so that nobody takes the restore for
    // complete, and a restore run again once the file is free removes it.
    RestoreAction backupStays() {
        return failed(messages::couldNotRemoveBackup(m_file.backup), "the backup is still there");
    }

    void removeOwn(const std::string& path) {
        if (!path.empty() && m_fs.attributes(path)) {
            removeOwnFile(m_fs, path);
            m_changedNames = true;
        }
    }

    RestoreAction undoAdded() {
        // A file stood where the run meant to add one (the run could not put its own there): it was never
        // the run's to remove.
        if ((m_file.outcome && *m_file.outcome != kAddedOutcome) || !m_fs.fileExists(m_file.destination)) {
            return RestoreAction::AsBefore;
        }
        const std::optional<std::string> current = currentDigest();
        if (!current) {
            return failed(messages::couldNotRemove(m_file.destination), kUnreadable);
        }
        if (*current != m_file.newSha256) {
            return changedSince();
        }
        if (const FileResult removed = removeOwnFile(m_fs, m_file.destination); !removed) {
            return failed(messages::couldNotRemove(m_file.destination), removed.error().text);
        }
        m_changedNames = true;
        return RestoreAction::Removed;
    }

    RestoreAction changedSince() {
        m_services.msgBox.show(messages::changedSinceInstall(m_file.destination));
        return RestoreAction::ChangedSince;
    }

    RestoreAction failed(const MsgBoxRequest& why, std::string reason) {
        m_reason = std::move(reason);
        m_services.msgBox.show(why);
        return RestoreAction::Failed;
    }

    const RecordedFile& m_file;
    const EngineServices& m_services;
    FileSystem& m_fs;
    bool m_changedNames = false;
    std::string m_reason;
    // Why the backup could not be renamed over the file.
    std::string m_putBackError;
};

// A recorded file with the install it belongs to, in the order the installs made them.
struct HistoryEntry {
    const RecordedInstall* install;
    const RecordedFile* file;
};

// A restore undoes every install still to undo; a rollback only the one its own run has just made, and it
// goes on where the record cannot take its lines (a full disk): the undo is what the record says already,
// and a later restore finds each file as before.
enum class UndoKind { Restore, Rollback };

class Restore {
public:
    Restore(std::span<const RecordedInstall> installs, const EngineServices& services, std::string path,
            const std::function<void(const RestoredFile&)>& report, UndoKind kind = UndoKind::Restore)
        : m_services(services)
        , m_path(std::move(path))
        , m_report(report)
        , m_kind(kind) {
        for (const RecordedInstall& install : installs) {
            for (const RecordedFile& file : install.files) {
                m_entries.push_back({&install, &file});
            }
        }
    }

    bool run() {
        const std::string_view heading = m_kind == UndoKind::Restore ? "restore" : "rollback";
        const bool headed = record(recordLine({heading, recordTime()}) + "\n");
        if (!headed && m_kind == UndoKind::Restore) {
            return false;
        }
        bool ok = true;
        std::string lines;
        std::vector<std::string> changed;
        // Newest first: each file gets back what its install found, and the earliest install's original
        // comes last.
        for (std::size_t i = m_entries.size(); i-- > 0;) {
            const RecordedFile& file = *m_entries[i].file;
            FileUndo fileUndo(file, m_services);
            const RestoreAction action = undo(i, fileUndo);
            ok = ok && action != RestoreAction::Failed && action != RestoreAction::ChangedSince;
            if (fileUndo.changedNames()) {
                changed.push_back(file.destination);
            }
            if (m_services.log) {
                m_services.log(
                    concat({recordSideName(file.side), "\t", restoreActionName(action), "\t",
                            file.destination, fileUndo.reason().empty() ? "" : "\t", fileUndo.reason()}));
            }
            noteForRegistration(m_entries[i], action);
            lines += recordLine(
                {"restored", recordSideName(file.side), file.destination, restoreActionName(action)});
            lines += '\n';
            m_report({file.side, file.destination, action});
        }
        // Every name put back or removed is on the disk before the restore calls itself done: after a power
        // cut a record that says "undone" must not meet a hot fix's file come back.
        if (!changed.empty() && !m_services.fs.flush(changed)) {
            m_services.msgBox.show(
                messages::couldNotFlush(changed.front().substr(0, changed.front().rfind('\\') + 1)));
            ok = false;
        }
        if (!registerOriginals(headed)) {
            ok = false;
        }
        lines += recordLine({m_kind == UndoKind::Restore ? "end restore" : "end rollback",
                             ok ? "succeeded" : "failed"}) +
                 "\n";
        // Lines without their heading would stand outside any section, and refuse the record.
        return headed && record(lines) && ok;
    }

private:
    RestoreAction undo(std::size_t index, FileUndo& fileUndo) {
        const RecordedFile& file = *m_entries[index].file;
        std::set<std::string> earlierOriginals;
        bool absentBefore = file.added();
        for (std::size_t j = 0; j < index; ++j) {
            const RecordedFile& earlier = *m_entries[j].file;
            if (earlier.side != file.side || earlier.destination != file.destination || !earlier.journalled) {
                continue;
            }
            if (earlier.added()) {
                absentBefore = true;
            } else {
                earlierOriginals.insert(earlier.originalSha256);
            }
        }
        return fileUndo.run(earlierOriginals, absentBefore);
    }

    // A library registers again where its earliest replacement is undone: the file holds its original.
    void noteForRegistration(const HistoryEntry& entry, RestoreAction action) {
        const RecordedFile& file = *entry.file;
        if (!file.journalled || file.added()) {
            return;
        }
        const bool registers = file.side == Side::Windows || entry.install->registerDlls;
        const FileKey key{file.side, file.destination};
        // Entries come newest first: the last one seen for a file is its earliest.
        if (registers && isLibrary(file.destination.substr(file.destination.rfind('\\') + 1))) {
            m_libraries[key] = action == RestoreAction::Restored || action == RestoreAction::AsBefore;
        } else {
            m_libraries.erase(key);
        }
    }

    // headed: the record holds this undo's heading, so its script may be named there (a line without the
    // heading would stand outside any section and refuse the record).
    bool registerOriginals(bool headed) {
        bool ok = true;
        for (const Side side : kSides) {
            RegistrationScript script(side, m_services, "/s ");
            if (headed) {
                script.recordIn(m_path, false);
            }
            for (const HistoryEntry& entry : m_entries) {
                const RecordedFile& file = *entry.file;
                const auto found = m_libraries.find({file.side, file.destination});
                if (file.side != side || found == m_libraries.end() || !found->second) {
                    continue;
                }
                // Once per file, in the order of the record.
                found->second = false;
                const std::size_t slash = file.destination.rfind('\\');
                if (!script.AddLibrary(std::string_view(file.destination).substr(slash + 1),
                                       std::string_view(file.destination).substr(0, slash + 1))) {
                    ok = false;
                }
            }
            if (!script.FinishScript()) {
                ok = false;
            }
        }
        return ok;
    }

    bool record(const std::string& lines) {
        if (m_services.fs.appendDurably(m_path, lines)) {
            return true;
        }
        m_services.msgBox.show(messages::couldNotWriteRecord(m_path));
        return false;
    }

    const EngineServices& m_services;
    std::string m_path;
    const std::function<void(const RestoredFile&)>& m_report;
    std::vector<HistoryEntry> m_entries;
    const UndoKind m_kind;
    // The libraries to register again, by file: true until registered.
    std::map<FileKey, bool> m_libraries;
};

// Takes the bytes of a comparison that nobody needs.
class Discard final : public ByteSink {
public:
    void take(std::span<const char>) override {}
};

// No install is recorded: never made, or cut off before its record was. The workstation alone answers
// whether there is anything to undo; the restore changes nothing.
RunResult nothingRecorded(const InstallerWindow& window, const EngineServices& services,
                          const std::string& path) {
    confineToRoots(window, services);
    FileSystem& fs = services.fs;
    const std::string suffix = chosenBackupSuffix(window);
    std::optional<MsgBoxRequest> found;
    for (const Side side : kSides) {
        for (int i = 0; i < window.itemCount(side) && !found; ++i) {
            const ListedFile file = listedFileAt(side, i, window, services.programFolder);
            Discard discard;
            if (fs.fileExists(file.destination) && fs.fileExists(file.source) &&
                !fs.sameFile(file.destination, file.source) &&
                fs.sameBytes(file.destination, file.source, discard) == true) {
                found = messages::inPlaceWithoutRecord(file.destination, path);
            } else if (!suffix.empty() && fs.fileExists(file.destination + suffix)) {
                found = messages::backupWithoutRecord(file.destination + suffix, path);
            }
        }
    }
    services.msgBox.show(found.value_or(messages::nothingInstalled()));
    return found ? RunResult::Failed : RunResult::Succeeded;
}

} // namespace

namespace {

enum class Loaded { Read, NothingRecorded, Failed };

// The package's record as a restore may trust it; the user is told why where it cannot be.
Loaded loadHistory(const EngineServices& services, const std::string& identity, const std::string& path,
                   const InstallerWindow& window, RecordHistory& history, bool tidy = true) {
    if (!recordIsPrivate(services, identity)) {
        return Loaded::Failed;
    }
    // What a run cut off while making the record left records nothing.
    if (tidy) {
        removeRecordLeftover(services.fs, path);
    }
    std::string text;
    switch (readRecord(services, path, text)) {
    case Reading::Untrusted:
        return Loaded::Failed;
    case Reading::Missing:
        return Loaded::NothingRecorded;
    case Reading::TooLarge:
        services.msgBox.show(messages::recordTooLarge(path));
        return Loaded::Failed;
    case Reading::Read:
        break;
    }
    if (!holdsWholeLine(text)) {
        return Loaded::NothingRecorded;
    }
    auto read = readRecordHistory(text, identity, listedItems(window));
    if (const auto* refusal = std::get_if<RecordRefusal>(&read)) {
        services.msgBox.show(messages::recordRefused(path, refusal->line, refusal->why));
        return Loaded::Failed;
    }
    history = std::move(std::get<RecordHistory>(read));
    return history.anyInstall ? Loaded::Read : Loaded::NothingRecorded;
}

// The run's own folders, and every root a recorded install worked in: the undo is confined as the
// installs were.
void confineToInstalls(FileSystem& fs, std::vector<std::string> roots,
                       std::span<const RecordedInstall> installs) {
    for (const RecordedInstall& install : installs) {
        roots.push_back(install.productRoot);
        roots.push_back(install.windowsRoot);
    }
    fs.confineBelow(roots);
}

} // namespace

namespace {

std::vector<UnregisteredLibrary> unregisteredIn(const RecordHistory& history,
                                                const EngineServices& services) {
    std::vector<UnregisteredLibrary> libraries;
    for (const RecordedInstall& install : history.toUndo) {
        for (const Side side : kSides) {
            const std::size_t index = side == Side::Product ? 0 : 1;
            const std::string& ended = install.registrationEnded[index];
            // A script that registered succeeded for every library waiting before it; one that reports
            // nothing (the window's) is taken at its word, as it always was. A record of an older version
            // says nothing: its libraries count as registered.
            if (ended == kRegistrationSucceeded || ended == kRegistrationSilent) {
                std::erase_if(libraries,
                              [side](const UnregisteredLibrary& each) { return each.side == side; });
                continue;
            }
            if (!install.registrationPlanned[index] && ended.empty()) {
                continue;
            }
            for (const RecordedFile& file : install.files) {
                const std::string name = file.destination.substr(file.destination.rfind('\\') + 1);
                const bool registers = side == Side::Windows || install.registerDlls;
                // A file that waits for the restart is registered after it, by Windows.
                const bool replaced =
                    !file.outcome || *file.outcome == recordOutcomeName(FileOutcome::Replaced);
                const bool listed = std::any_of(libraries.begin(), libraries.end(), [&](const auto& each) {
                    return each.side == side && each.path == file.destination;
                });
                if (file.side == side && file.journalled && !file.added() && registers && isLibrary(name) &&
                    replaced && !listed && services.fs.fileExists(file.destination)) {
                    libraries.push_back({side, file.destination});
                }
            }
        }
    }
    return libraries;
}

// The scripts that runs cut off before they started them left: nobody runs them, and only the run that
// created one took its name. Only those in this package's folder, or in the records' folder, are touched.
void removeScriptsNeverStarted(const RecordHistory& history, const EngineServices& services) {
    const std::string ownScripts = concat({services.recordFolder, "\\Scripts"});
    const auto remove = [&](const std::string& script) {
        const std::string_view folder = std::string_view(script).substr(0, script.rfind('\\'));
        if ((folder == services.programFolder || folder == ownScripts) && services.fs.fileExists(script)) {
            removeOwnFile(services.fs, script);
        }
    };
    for (const RecordedInstall& install : history.toUndo) {
        for (const std::size_t side : {std::size_t{0}, std::size_t{1}}) {
            if (install.registrationEnded[side].empty()) {
                std::for_each(install.scripts[side].begin(), install.scripts[side].end(), remove);
            }
        }
    }
    // A restore registers originals only, which the next restore registers again: a script of one cut off
    // that may still run loses nothing.
    std::for_each(history.scriptsOfUnendedUndos.begin(), history.scriptsOfUnendedUndos.end(), remove);
}

// The temporaries that runs cut off left: each is its run's alone, unless it waits to replace its file when
// Windows restarts. One a run queued but was cut off before it could say so is taken back first.
void removeTemporariesLeft(std::span<const RecordedInstall> installs, const EngineServices& services) {
    FileSystem& fs = services.fs;
    for (const RecordedInstall& install : installs) {
        for (const RecordedFile& file : install.files) {
            if (!file.temporary.empty() && file.outcome != kAtRestartOutcome &&
                fs.attributes(file.temporary) &&
                (services.filesInUse == nullptr || services.filesInUse->cancelAtRestart(file.temporary))) {
                removeOwnFile(fs, file.temporary);
            }
            if (!file.backupTemporary.empty() && fs.attributes(file.backupTemporary)) {
                removeOwnFile(fs, file.backupTemporary);
            }
        }
    }
}

std::optional<RecordHistory> trustedHistory(const InstallerWindow& window, const EngineServices& services) {
    if (services.recordFolder.empty()) {
        return std::nullopt;
    }
    const std::string identity = packageIdentity(window);
    RecordHistory history;
    if (loadHistory(services, identity, recordPath(services.recordFolder, identity), window, history,
                    false) != Loaded::Read) {
        return std::nullopt;
    }
    return history;
}

} // namespace

RunResult runRestore(const InstallerWindow& window, const EngineServices& services,
                     const std::function<void(const RestoredFile&)>& report) {
    FileSystem& fs = services.fs;
    const FileSystemRun looks(fs);
    const std::string identity = packageIdentity(window);
    const std::string path = recordPath(services.recordFolder, identity);
    const std::vector<std::string> ownFolders = {services.programFolder,
                                                 recordFolderParent(services.recordFolder)};
    fs.confineBelow(ownFolders);
    RecordHistory history;
    switch (loadHistory(services, identity, path, window, history)) {
    case Loaded::Failed:
        return RunResult::Failed;
    case Loaded::NothingRecorded:
        return nothingRecorded(window, services, path);
    case Loaded::Read:
        break;
    }
    confineToInstalls(fs, ownFolders, history.toUndo);
    if (history.toUndo.empty()) {
        services.msgBox.show(messages::nothingToRestore());
        return RunResult::Succeeded;
    }
    removeScriptsNeverStarted(history, services);
    const bool ok = Restore(history.toUndo, services, path, report).run();
    services.msgBox.show(ok ? messages::restoreApplied() : messages::restoreFailed());
    return ok ? RunResult::Succeeded : RunResult::Failed;
}

std::vector<UnregisteredLibrary> unregisteredLibraries(const InstallerWindow& window,
                                                       const EngineServices& services) {
    const std::optional<RecordHistory> history = trustedHistory(window, services);
    return history ? unregisteredIn(*history, services) : std::vector<UnregisteredLibrary>{};
}

std::vector<UnregisteredLibrary> takeOverFromEarlierRuns(const InstallerWindow& window,
                                                         const EngineServices& services) {
    const std::optional<RecordHistory> history = trustedHistory(window, services);
    if (!history) {
        return {};
    }
    removeTemporariesLeft(history->toUndo, services);
    removeScriptsNeverStarted(*history, services);
    return unregisteredIn(*history, services);
}

RunResult rollBackInstall(const InstallerWindow& window, const EngineServices& services,
                          const std::function<void(const RestoredFile&)>& report) {
    FileSystem& fs = services.fs;
    const FileSystemRun looks(fs);
    const std::string identity = packageIdentity(window);
    const std::string path = recordPath(services.recordFolder, identity);
    const std::vector<std::string> ownFolders = {services.programFolder,
                                                 recordFolderParent(services.recordFolder)};
    fs.confineBelow(ownFolders);
    RecordHistory history;
    if (loadHistory(services, identity, path, window, history) != Loaded::Read || history.toUndo.empty()) {
        services.msgBox.show(messages::rollBackFailed());
        return RunResult::Failed;
    }
    // The run's own install is the record's last: the caller holds the run lock from before it began.
    const std::span<const RecordedInstall> own(&history.toUndo.back(), 1);
    if (own.front().files.empty()) {
        return RunResult::Succeeded;
    }
    confineToInstalls(fs, ownFolders, own);
    const bool ok = Restore(own, services, path, report, UndoKind::Rollback).run();
    services.msgBox.show(ok ? messages::rolledBack() : messages::rollBackFailed());
    return ok ? RunResult::Succeeded : RunResult::Failed;
}

} // namespace hotfix
