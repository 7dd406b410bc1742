#include "engine/file_replacement.hpp"

#include "engine/file_lists.hpp"
#include "engine/install_checks.hpp"
#include "engine/install_record.hpp"
#include "engine/messages.hpp"
#include "engine/text.hpp"
#include "platform/ascii.hpp"
#include "platform/msg_box.hpp"
#include "platform/temporary_name.hpp"

namespace hotfix {

namespace {

// Enough for any real history of hot fixes; past it the names are surely not free for a reason the search
// cannot cure.
constexpr int kMaxBackupNumber = 999;

// A file or a folder: whatever has attributes is there.
bool taken(FileSystem& fs, const std::string& path) {
    return fs.attributes(path).has_value();
}

// The backup never overwrites a file: an older backup, or the same file listed twice, may sit there.
std::optional<std::string> freeBackupName(FileSystem& fs, const std::string& wanted) {
    if (!taken(fs, wanted)) {
        return wanted;
    }
    for (int n = 2; n <= kMaxBackupNumber; ++n) {
        std::string candidate = wanted + "_" + std::to_string(n);
        if (!taken(fs, candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::string parentFolder(std::string_view path) {
    return std::string(path.substr(0, path.rfind('\\') + 1));
}

// A temporary file is ours alone, so its marks may go to get it removed.
void removeTemporary(FileSystem& fs, const std::string& path) {
    if (path.empty() || fs.deleteFile(path) || !fs.attributes(path)) {
        return;
    }
    fs.clearAttributes(path);
    fs.deleteFile(path);
}

// A backup of its own, for an installed file that nothing will replace: written under a temporary name,
// made durable, then given the backup's name, which nothing else may hold.
bool backUpByCopy(FileSystem& fs, const std::string& installed, const std::string& backup) {
    const std::string temporary = temporaryNameBeside(installed);
    const std::string paths[] = {temporary};
    if (fs.copyFileToNew(installed, temporary) && fs.flush(paths) &&
        fs.moveFile(temporary, backup, FileSystem::Overwrite::Never)) {
        return true;
    }
    removeTemporary(fs, temporary);
    return false;
}

// Removes whatever a staged file has put on the disk; the installed file stays as it was.
void discardStaged(FileSystem& fs, const StagedFile& staged) {
    removeTemporary(fs, staged.temporary);
    if (!staged.backupTemporary.empty()) {
        removeTemporary(fs, staged.backupTemporary);
    } else if (!staged.backup.empty()) {
        RemoveBackupName(fs, staged.backup, staged.file.destination, staged.originalMarks);
    }
}

// The backup is the installed file itself under a second name: no copy of its bytes, and its marks and times
// stay as they were. Where the file system has no such names, a copy waits beside it. False when neither
// could be made.
bool stageBackup(FileSystem& fs, const std::string& installed, StagedFile& staged) {
    switch (fs.linkFile(installed, staged.backup)) {
    case FileSystem::LinkResult::Linked:
        return true;
    case FileSystem::LinkResult::Unsupported:
        staged.backupTemporary = temporaryNameBeside(installed);
        if (fs.copyFileToNew(installed, staged.backupTemporary)) {
            return true;
        }
        removeTemporary(fs, staged.backupTemporary);
        return false;
    case FileSystem::LinkResult::Failed:
        return false;
    }
    return false;
}

// Nothing when the new file is staged; otherwise its final outcome.
std::optional<FileOutcome> stageNewFile(const ListedFile& file, StagedFile& staged, InstallerWindow& window,
                                        const EngineServices& services) {
    FileSystem& fs = services.fs;
    if (fs.fileExists(file.destination + window.installState().BackupSuffix)) {
        switchToDateSuffix(window);
    }
    staged.temporary = temporaryNameBeside(file.destination);
    if (fs.copyFileToNew(file.source, staged.temporary)) {
        return std::nullopt;
    }
    removeTemporary(fs, staged.temporary);
    // Optional parts of a product: a missing package file or destination folder is passed over. They are
    // tested after the copy, so that a wrong "missing" cannot pass a failed copy over silently.
    if (!fs.fileExists(file.source) || !fs.folderExists(parentFolder(file.destination))) {
        return FileOutcome::NewFile;
    }
    services.msgBox.show(messages::couldNotCopy(file.source, file.destination));
    return FileOutcome::Failed;
}

} // namespace

ListedFile listedFileAt(Side side, int index, const InstallerWindow& window, std::string_view programFolder) {
    ListedFile file{side, index, window.itemName(side, index), window.itemFolder(side, index), {}, {}};
    file.destination = DestinationPath(window.rootText(side), file.folder, file.name);
    file.source = SourcePath(programFolder, side, file.folder, file.name);
    return file;
}

std::variant<FileOutcome, StagedFile> StageListedFile(const ListedFile& file, InstallerWindow& window,
                                                      const EngineServices& services) {
    FileSystem& fs = services.fs;
    StagedFile staged{file, {}, {}, {}, {}};
    if (!fs.fileExists(file.destination)) {
        // The new file's name is taken without replacing anything: should the test above have wrongly said
        // "not installed", the installed file has no backup yet.
        if (const auto outcome = stageNewFile(file, staged, window, services)) {
            return *outcome;
        }
        return staged;
    }

    const std::string wanted = file.destination + window.installState().BackupSuffix;
    const std::optional<std::string> backup = freeBackupName(fs, wanted);
    const std::optional<FileAttributes> marks = fs.attributes(file.destination);
    if (!backup || !marks) {
        services.msgBox.show(messages::couldNotBackUp(file.destination, backup.value_or(wanted)));
        return FileOutcome::Failed;
    }
    staged.backup = *backup;
    staged.originalMarks = *marks;

    if (!fs.fileExists(file.source)) {
        if (!backUpByCopy(fs, file.destination, staged.backup)) {
            services.msgBox.show(messages::couldNotBackUp(file.destination, staged.backup));
            return FileOutcome::Failed;
        }
        services.msgBox.show(
            messages::fileNotAvailable(file.name, services.programFolder, file.side, file.folder));
        return FileOutcome::SourceMissing;
    }

    // With the root set to the package itself, "replacing" the package's file would only back it up.
    if (fs.sameFile(file.source, file.destination)) {
        services.msgBox.show(messages::couldNotReplace(file.destination, file.source));
        return FileOutcome::Failed;
    }

    if (!stageBackup(fs, file.destination, staged)) {
        services.msgBox.show(messages::couldNotBackUp(file.destination, staged.backup));
        return FileOutcome::Failed;
    }

    staged.temporary = temporaryNameBeside(file.destination);
    if (!fs.copyFileToNew(file.source, staged.temporary)) {
        discardStaged(fs, staged);
        services.msgBox.show(messages::couldNotReplace(file.destination, file.source));
        return FileOutcome::Failed;
    }
    return staged;
}

// A backup that is a second name of the installed file shares its marks: lifting them to remove the name
// lifts them from the installed file too, which gets them back afterwards.
void RemoveBackupName(FileSystem& fs, const std::string& backup, const std::string& installed,
                      FileAttributes marks) {
    if (fs.deleteFile(backup) || !fs.attributes(backup)) {
        return;
    }
    fs.clearAttributes(backup);
    fs.deleteFile(backup);
    fs.setAttributes(installed, marks);
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

void ReplacementBatch::add(StagedFile staged) {
    m_destinations.insert(folded(staged.file.destination));
    m_staged.push_back(std::move(staged));
}

FileOutcome ReplacementBatch::putInPlace(const StagedFile& staged) {
    FileSystem& fs = m_services.fs;
    const ListedFile& file = staged.file;
    if (staged.backup.empty()) {
        if (fs.moveFile(staged.temporary, file.destination, FileSystem::Overwrite::Never)) {
            return FileOutcome::NewFile;
        }
        removeTemporary(fs, staged.temporary);
        m_services.msgBox.show(messages::couldNotCopy(file.source, file.destination));
        return FileOutcome::Failed;
    }
    if (!staged.backupTemporary.empty() &&
        !fs.moveFile(staged.backupTemporary, staged.backup, FileSystem::Overwrite::Never)) {
        discardStaged(fs, staged);
        m_services.msgBox.show(messages::couldNotBackUp(file.destination, staged.backup));
        return FileOutcome::Failed;
    }
    if (!fs.moveFile(staged.temporary, file.destination, FileSystem::Overwrite::Existing)) {
        // The installed file is as it was; a backup name of it must not outlive the attempt.
        StagedFile undo = staged;
        undo.backupTemporary.clear();
        discardStaged(fs, undo);
        m_services.msgBox.show(messages::couldNotReplace(file.destination, file.source));
        return FileOutcome::Failed;
    }
    // Replacing a read-only file may have lifted the mark that the backup shares with it.
    fs.setAttributes(staged.backup, staged.originalMarks);
    return FileOutcome::Replaced;
}

bool ReplacementBatch::commit(const std::function<void(const ListedFile&, FileOutcome)>& outcome) {
    if (m_staged.empty()) {
        return true;
    }
    FileSystem& fs = m_services.fs;
    std::vector<StagedFile> staged;
    staged.swap(m_staged);
    m_destinations.clear();
    std::vector<std::string> written;
    for (const StagedFile& each : staged) {
        written.push_back(each.temporary);
        if (!each.backupTemporary.empty()) {
            written.push_back(each.backupTemporary);
        } else if (!each.backup.empty()) {
            written.push_back(each.backup);
        }
    }
    const auto abandon = [&] {
        for (const StagedFile& each : staged) {
            discardStaged(fs, each);
        }
        for (const StagedFile& each : staged) {
            outcome(each.file, FileOutcome::Failed);
        }
        return false;
    };
    if (!fs.flush(written)) {
        // Nothing may be replaced while its new content or its backup might not survive a power cut.
        m_services.msgBox.show(messages::couldNotFlush(parentFolder(staged.front().file.destination)));
        return abandon();
    }
    // Nor before the record says how to undo it.
    if (m_record != nullptr && !m_record->BeforeReplacing(staged)) {
        return abandon();
    }
    std::vector<std::string> placed;
    for (const StagedFile& each : staged) {
        const FileOutcome result = putInPlace(each);
        if (result != FileOutcome::Failed) {
            placed.push_back(each.file.destination);
        }
        outcome(each.file, result);
    }
    // The new names are made durable too, before the run may call the install a success.
    if (!placed.empty() && !fs.flush(placed)) {
        m_services.msgBox.show(messages::couldNotFlush(parentFolder(placed.front())));
        return false;
    }
    return true;
}

PlannedFile PlanListedFile(const ListedFile& file, std::string_view backupSuffix,
                           const EngineServices& services) {
    FileSystem& fs = services.fs;
    const bool sourceThere = fs.fileExists(file.source);
    if (!fs.fileExists(file.destination)) {
        if (!sourceThere) {
            return {PlannedAction::PassOverPackageFileMissing, {}};
        }
        if (!fs.folderExists(parentFolder(file.destination))) {
            return {PlannedAction::PassOverFolderMissing, {}};
        }
        return {PlannedAction::CopyNew, {}};
    }
    if (!sourceThere) {
        return {PlannedAction::RefusedPackageFileMissing, {}};
    }
    if (fs.sameFile(file.source, file.destination)) {
        return {PlannedAction::RefusedPackageIsRoot, {}};
    }
    const std::optional<std::string> backup = freeBackupName(fs, concat({file.destination, backupSuffix}));
    if (!backup) {
        return {PlannedAction::RefusedNoBackupName, {}};
    }
    return {PlannedAction::Replace, *backup};
}

FileOutcome ReplaceListedFile(Side side, int index, InstallerWindow& window, const EngineServices& services) {
    const ListedFile file = listedFileAt(side, index, window, services.programFolder);
    auto staged = StageListedFile(file, window, services);
    if (const auto* outcome = std::get_if<FileOutcome>(&staged)) {
        return *outcome;
    }
    FileOutcome result = FileOutcome::Failed;
    ReplacementBatch batch(services);
    batch.add(std::get<StagedFile>(std::move(staged)));
    if (!batch.commit([&](const ListedFile&, FileOutcome outcome) { result = outcome; })) {
        result = FileOutcome::Failed;
    }
    return result;
}

} // namespace hotfix
