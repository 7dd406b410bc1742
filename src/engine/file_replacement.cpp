#include "engine/file_replacement.hpp"

#include "engine/backup_name.hpp"
#include "engine/digest_worker.hpp"
#include "engine/install_checks.hpp"
#include "engine/messages.hpp"
#include "engine/sha256.hpp"
#include "engine/text.hpp"
#include "platform/ascii.hpp"
#include "platform/files_in_use.hpp"
#include "platform/msg_box.hpp"
#include "platform/temporary_name.hpp"

namespace hotfix {

namespace {

// Whether a complete copy of the package's file, queued by an earlier run, replaces the installed one at the
// next restart: a retry before it has nothing to do for the file, and must not queue another copy.
bool waitsForRestart(const ListedFile& file, const EngineServices& services) {
    if (services.filesInUse == nullptr) {
        return false;
    }
    const std::optional<std::string> waiting = services.filesInUse->replacementWaiting(file.destination);
    struct Discard final : ByteSink {
        void take(std::span<const char> piece) override { (void)piece; }
    } discard;
    return waiting && services.fs.sameBytes(*waiting, file.source, discard) == true;
}

std::string parentFolder(std::string_view path) {
    return std::string(path.substr(0, path.rfind('\\') + 1));
}

bool isInstalled(PlannedAction action) {
    return action == PlannedAction::Replace || action == PlannedAction::BackUpOnlyPackageFileMissing;
}

// A backup of its own, for an installed file that nothing will replace: written under its temporary name,
// made durable, then given the backup's name, which nothing else may hold.
bool backUpByCopy(FileSystem& fs, const PlannedFile& planned, std::string& reason) {
    const std::string paths[] = {planned.backupTemporary};
    FileResult done = fs.copyFileToNew(planned.file.destination, planned.backupTemporary);
    if (done) {
        done = fs.flush(paths);
    }
    if (done) {
        done = fs.moveFile(planned.backupTemporary, planned.backup, FileSystem::Overwrite::Never);
    }
    if (done) {
        return true;
    }
    reason = done.error().text;
    removeOwnFile(fs, planned.backupTemporary);
    return false;
}

// Copies to a new file, taking the digest of the bytes as they are copied; nothing, and why in reason, where
// the copy failed.
std::optional<PendingDigest> copyTakingDigest(const EngineServices& services, const std::string& from,
                                              const std::string& to, std::string& reason) {
    DigestFeed digest(services.digests);
    if (const FileResult copied = services.fs.copyFileToNewThrough(from, to, digest); !copied) {
        reason = copied.error().text;
        return std::nullopt;
    }
    return digest.finish();
}

// Removes whatever a staged file has put on the disk; the installed file stays as it was.
void discardStaged(FileSystem& fs, const StagedFile& staged) {
    const PlannedFile& planned = staged.plan;
    if (!planned.temporary.empty()) {
        removeOwnFile(fs, planned.temporary);
    }
    if (staged.backupCopied) {
        removeOwnFile(fs, planned.backupTemporary);
    } else if (isInstalled(planned.action)) {
        removeBackupName(fs, planned.backup, planned.file.destination, planned.originalMarks);
    }
}

// The backup is the installed file itself under a hard link: no copy of its bytes, and its attributes and
// times stay as they were. Where the file system has no such names, a copy waits beside it. False when
// neither could be made.
bool stageBackup(const EngineServices& services, StagedFile& staged, std::string& reason) {
    FileSystem& fs = services.fs;
    const PlannedFile& planned = staged.plan;
    const FileSystem::LinkResult linked = fs.linkFile(planned.file.destination, planned.backup);
    switch (linked.outcome) {
    case FileSystem::LinkOutcome::Linked:
        return true;
    case FileSystem::LinkOutcome::Unsupported:
        staged.backupCopied = true;
        staged.originalSha256 =
            copyTakingDigest(services, planned.file.destination, planned.backupTemporary, reason);
        if (staged.originalSha256) {
            return true;
        }
        removeOwnFile(fs, planned.backupTemporary);
        return false;
    case FileSystem::LinkOutcome::Failed:
        reason = linked.error.text;
        return false;
    }
    return false;
}

} // namespace

PlannedFile planListedFile(const ListedFile& file, InstallerWindow& window, const EngineServices& services) {
    FileSystem& fs = services.fs;
    PlannedFile plan{file, PlannedAction::CopyNew, {}, {}, {}, {}, {}};
    if (!fs.fileExists(file.destination)) {
        if (fs.fileExists(file.destination + window.installState().BackupSuffix)) {
            switchToDateSuffix(window);
        }
        // Optional parts of a product: a missing package file or destination folder is passed over.
        if (!fs.fileExists(file.source)) {
            plan.action = PlannedAction::PassOverPackageFileMissing;
        } else if (!fs.folderExists(parentFolder(file.destination))) {
            plan.action = PlannedAction::PassOverFolderMissing;
        }
        // The install tries the copy all the same, so that a wrong "missing" cannot pass a copy over.
        plan.temporary = temporaryNameBeside(file.destination);
        return plan;
    }

    // The package's file is looked at once, as late as the decision allows (a window's install) or before the
    // look at the installed bytes (unattended).
    std::optional<std::pair<bool, bool>> source;
    const auto lookAtSource = [&] {
        if (!source) {
            const bool exists = fs.fileExists(file.source);
            // With the root set to the package itself, "replacing" its file would only back it up.
            source = {exists, exists && fs.sameFile(file.source, file.destination)};
        }
        return *source;
    };
    // Unattended, a file that holds the package's bytes is left alone; a root that is the package itself
    // holds them trivially, and is refused as below.
    // The installed file is read once, for the comparison and the record's digest together; the package's
    // only as far as the two agree.
    if (window.unattended() && lookAtSource().first && !lookAtSource().second) {
        DigestFeed digest(services.digests);
        const std::optional<bool> same = fs.sameBytes(file.destination, file.source, digest);
        if (same) {
            plan.installedSha256 = digest.finish();
        }
        if (same == true) {
            plan.action = PlannedAction::AlreadyInPlace;
            return plan;
        }
        if (same && waitsForRestart(file, services)) {
            plan.action = PlannedAction::WaitingForRestart;
            return plan;
        }
    }
    const std::string wanted = file.destination + window.installState().BackupSuffix;
    const std::optional<std::string> backup = freeBackupName(fs, wanted);
    const std::optional<FileAttributes> marks = fs.attributes(file.destination);
    plan.backup = backup.value_or(wanted);
    if (!backup || !marks) {
        plan.action = PlannedAction::RefusedNoBackupName;
        return plan;
    }
    plan.originalMarks = *marks;
    plan.backupTemporary = temporaryNameBeside(file.destination);
    const auto [sourceExists, packageIsRoot] = lookAtSource();
    if (!sourceExists) {
        plan.action = PlannedAction::BackUpOnlyPackageFileMissing;
        return plan;
    }
    if (packageIsRoot) {
        plan.action = PlannedAction::RefusedPackageIsRoot;
        plan.backupTemporary.clear();
        return plan;
    }
    plan.action = PlannedAction::Replace;
    plan.temporary = temporaryNameBeside(file.destination);
    return plan;
}

// A backup that is a hard link of the installed file shares its attributes. The name goes without touching
// them where the platform can; elsewhere lifting them lifts them from the installed file too, which gets
// them back afterwards (and from the record, should the run be cut off in between).
void removeBackupName(FileSystem& fs, const std::string& backup, const std::string& installed,
                      FileAttributes marks) {
    if (fs.removeName(backup) || !fs.attributes(backup)) {
        return;
    }
    fs.clearAttributes(backup);
    fs.deleteFile(backup);
    fs.setAttributes(installed, marks);
}

FileResult removeOwnFile(FileSystem& fs, const std::string& path) {
    if (path.empty()) {
        return {};
    }
    if (FileResult deleted = fs.deleteFile(path); deleted || !fs.attributes(path)) {
        return {};
    }
    fs.clearAttributes(path);
    return fs.deleteFile(path);
}

std::string ReplacementBatch::folded(std::string_view destination) {
    std::string out;
    out.reserve(destination.size());
    for (const char c : destination) {
        const bool separator = c == '\\' || c == '/';
        if (separator && !out.empty() && out.back() == '\\') {
            continue;
        }
        out += separator ? '\\' : asciiLower(c);
    }
    return out;
}

bool ReplacementBatch::holds(std::string_view destination) const {
    return m_destinations.contains(folded(destination));
}

void ReplacementBatch::add(PlannedFile planned) {
    m_destinations.insert(folded(planned.file.destination));
    m_planned.push_back(std::move(planned));
}

std::variant<FileOutcome, StagedFile> ReplacementBatch::stage(const PlannedFile& planned) {
    FileSystem& fs = m_services.fs;
    MsgBox& boxes = m_services.msgBox;
    const ListedFile& file = planned.file;
    StagedFile staged{planned, false, {}, {}};
    switch (planned.action) {
    case PlannedAction::CopyNew:
    case PlannedAction::PassOverFolderMissing:
    case PlannedAction::PassOverPackageFileMissing:
        // The new file's name is taken without replacing anything: should the look have wrongly said "not
        // installed", the installed file has no backup yet.
        staged.newSha256 = copyTakingDigest(m_services, file.source, planned.temporary, m_reason);
        if (staged.newSha256) {
            return staged;
        }
        removeOwnFile(fs, planned.temporary);
        // Tested after the copy, so that a wrong "missing" cannot pass a failed copy over silently.
        if (!fs.fileExists(file.source) || !fs.folderExists(parentFolder(file.destination))) {
            return FileOutcome::PassedOver;
        }
        boxes.show(messages::couldNotCopy(file.source, file.destination));
        return FileOutcome::Failed;
    case PlannedAction::BackUpOnlyPackageFileMissing:
        if (!backUpByCopy(fs, planned, m_reason)) {
            boxes.show(messages::couldNotBackUp(file.destination, planned.backup));
            return FileOutcome::Failed;
        }
        boxes.show(messages::fileNotAvailable(file.name, m_services.programFolder, file.side, file.folder));
        return FileOutcome::SourceMissing;
    case PlannedAction::Replace:
        if (!stageBackup(m_services, staged, m_reason)) {
            boxes.show(messages::couldNotBackUp(file.destination, planned.backup));
            return FileOutcome::Failed;
        }
        staged.newSha256 = copyTakingDigest(m_services, file.source, planned.temporary, m_reason);
        if (!staged.newSha256) {
            discardStaged(fs, staged);
            // The package's file went away since the plan looked: the installed file is backed up and the box
            // names the missing file, as for a file the package lacked from the start.
            if (!fs.fileExists(file.source)) {
                PlannedFile backUpOnly = planned;
                backUpOnly.action = PlannedAction::BackUpOnlyPackageFileMissing;
                return stage(backUpOnly);
            }
            boxes.show(messages::couldNotReplace(file.destination, file.source));
            return FileOutcome::Failed;
        }
        return staged;
    case PlannedAction::RefusedNoBackupName:
        m_reason = "every backup name up to _" + std::to_string(kMaxBackupNumber) + " is taken";
        boxes.show(messages::couldNotBackUp(file.destination, planned.backup));
        break;
    case PlannedAction::RefusedPackageIsRoot:
        m_reason = "the root is the package itself";
        boxes.show(messages::couldNotReplace(file.destination, file.source));
        break;
    case PlannedAction::AlreadyInPlace:
        return FileOutcome::InPlace;
    case PlannedAction::WaitingForRestart:
        return FileOutcome::AtRestart;
    }
    return FileOutcome::Failed;
}

FileOutcome ReplacementBatch::placeOne(const StagedFile& staged) {
    FileSystem& fs = m_services.fs;
    const PlannedFile& planned = staged.plan;
    const ListedFile& file = planned.file;
    if (!isInstalled(planned.action)) {
        const FileResult placed =
            fs.moveFile(planned.temporary, file.destination, FileSystem::Overwrite::Never);
        if (placed) {
            return FileOutcome::NewFile;
        }
        m_reason = placed.error().text;
        removeOwnFile(fs, planned.temporary);
        m_services.msgBox.show(messages::couldNotCopy(file.source, file.destination));
        return FileOutcome::Failed;
    }
    if (staged.backupCopied) {
        if (const FileResult named =
                fs.moveFile(planned.backupTemporary, planned.backup, FileSystem::Overwrite::Never);
            !named) {
            m_reason = named.error().text;
            discardStaged(fs, staged);
            m_services.msgBox.show(messages::couldNotBackUp(file.destination, planned.backup));
            return FileOutcome::Failed;
        }
    }
    if (const FileResult replaced =
            fs.moveFile(planned.temporary, file.destination, FileSystem::Overwrite::Existing);
        !replaced) {
        m_reason = replaced.error().text;
        if (replaced.error().inUse && m_services.filesInUse != nullptr) {
            return replaceAtRestart(staged);
        }
        // The installed file is as it was; a backup name of it must not outlive the attempt.
        StagedFile undo = staged;
        undo.backupCopied = false;
        discardStaged(fs, undo);
        m_services.msgBox.show(messages::couldNotReplace(file.destination, file.source));
        return FileOutcome::Failed;
    }
    // Replacing a read-only file may have lifted the read-only attribute that the backup shares with it.
    fs.setAttributes(planned.backup, planned.originalMarks);
    return FileOutcome::Replaced;
}

// A file a running program holds keeps its original bytes until the restart, which its backup holds
// already; the new content waits, durable, under its temporary name.
FileOutcome ReplacementBatch::replaceAtRestart(const StagedFile& staged) {
    FileSystem& fs = m_services.fs;
    const PlannedFile& planned = staged.plan;
    const FilesInUse::Queued queued =
        m_services.filesInUse->replaceAtRestart(planned.temporary, planned.file.destination);
    if (queued == FilesInUse::Queued::Queued) {
        return FileOutcome::AtRestart;
    }
    StagedFile undo = staged;
    undo.backupCopied = false;
    discardStaged(fs, undo);
    if (queued == FilesInUse::Queued::NeedsAdministrator) {
        m_reason = "in use, and only an administrator can have it replaced at the next restart";
        m_services.msgBox.show(messages::inUseNeedsAdministrator(planned.file.destination));
    } else {
        m_services.msgBox.show(messages::couldNotReplace(planned.file.destination, planned.file.source));
    }
    return FileOutcome::Failed;
}

bool ReplacementBatch::commit(const Settle& outcome, const std::function<void()>& staged) {
    if (m_planned.empty()) {
        return true;
    }
    std::vector<PlannedFile> planned;
    planned.swap(m_planned);
    m_destinations.clear();
    // Every name the batch creates is in the record before it exists, so that no run cut off can leave one
    // that a restore does not know.
    if (m_journal != nullptr && !m_journal->beforeStaging(planned)) {
        for (const PlannedFile& each : planned) {
            outcome(each.file, FileOutcome::Failed, "the record could not be written");
        }
        return false;
    }
    std::vector<StagedFile> waiting;
    for (const PlannedFile& each : planned) {
        auto result = stage(each);
        if (const auto* final = std::get_if<FileOutcome>(&result)) {
            outcome(each.file, *final, *final == FileOutcome::Failed ? m_reason : std::string());
        } else {
            waiting.push_back(std::get<StagedFile>(std::move(result)));
        }
        if (staged) {
            staged();
        }
    }
    return putInPlace(waiting, outcome);
}

bool ReplacementBatch::putInPlace(const std::vector<StagedFile>& staged, const Settle& outcome) {
    FileSystem& fs = m_services.fs;
    if (staged.empty()) {
        return true;
    }
    std::vector<std::string> written;
    for (const StagedFile& each : staged) {
        written.push_back(each.plan.temporary);
        if (each.backupCopied) {
            written.push_back(each.plan.backupTemporary);
        } else if (isInstalled(each.plan.action)) {
            written.push_back(each.plan.backup);
        }
    }
    const auto abandon = [&](const std::string& reason) {
        for (const StagedFile& each : staged) {
            discardStaged(fs, each);
        }
        for (const StagedFile& each : staged) {
            outcome(each.plan.file, FileOutcome::Failed, reason);
        }
        return false;
    };
    if (const FileResult flushed = fs.flush(written); !flushed) {
        const std::string reason = flushed.error().text;
        // Nothing may be replaced while its new content or its backup might not survive a power cut.
        m_services.msgBox.show(messages::couldNotFlush(parentFolder(staged.front().plan.file.destination)));
        return abandon(reason);
    }
    // Nor before the record says how to undo it.
    if (m_journal != nullptr && !m_journal->beforeReplacing(staged)) {
        return abandon("the record could not be written");
    }
    std::vector<std::string> placed;
    for (const StagedFile& each : staged) {
        const FileOutcome result = placeOne(each);
        // A file waiting for the restart is still the original, which may not be opened for writing.
        if (result != FileOutcome::Failed && result != FileOutcome::AtRestart) {
            placed.push_back(each.plan.file.destination);
        }
        outcome(each.plan.file, result, result == FileOutcome::Failed ? m_reason : std::string());
    }
    // The new names are made durable too, before the run may call the install a success; their bytes were
    // flushed under the temporary names.
    if (!placed.empty() && !fs.flushNames(placed)) {
        m_services.msgBox.show(messages::couldNotFlush(parentFolder(placed.front())));
        return false;
    }
    return true;
}

FileOutcome ReplaceListedFile(Side side, int index, InstallerWindow& window, const EngineServices& services) {
    const ListedFile file = listedFileAt(side, index, window, services.programFolder);
    FileOutcome result = FileOutcome::Failed;
    ReplacementBatch batch(services);
    batch.add(planListedFile(file, window, services));
    if (!batch.commit([&](const ListedFile&, FileOutcome outcome, std::string_view) { result = outcome; })) {
        result = FileOutcome::Failed;
    }
    // A file passed over is a new file that was not copied, as the installer has always said.
    return result == FileOutcome::PassedOver ? FileOutcome::NewFile : result;
}

} // namespace hotfix
