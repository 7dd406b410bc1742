#include "engine/restore_run.hpp"

#include "engine/file_replacement.hpp"
#include "engine/install_record.hpp"
#include "engine/messages.hpp"
#include "engine/registration_script.hpp"
#include "engine/sha256.hpp"
#include "engine/text.hpp"
#include "platform/file_system.hpp"
#include "platform/msg_box.hpp"
#include "platform/temporary_name.hpp"

#include <algorithm>
#include <array>

namespace hotfix {

std::string_view RestoreActionName(RestoreAction action) {
    switch (action) {
    case RestoreAction::Restored:
        return "restored";
    case RestoreAction::Removed:
        return "removed";
    case RestoreAction::AsBefore:
        return "as before";
    case RestoreAction::ChangedSince:
        return "changed since";
    case RestoreAction::Failed:
        return "failed";
    }
    return "";
}

namespace {

// A file the package brought, or a temporary copy of one, may carry a read-only mark from its medium.
bool removeFile(FileSystem& fs, const std::string& path) {
    return fs.deleteFile(path) || (fs.clearAttributes(path) && fs.deleteFile(path));
}

// The original comes back as every copy goes in: complete beside its place and durable, then renamed over
// the file in one step, so that the file is always whole, new or original.
bool putBack(FileSystem& fs, const std::string& backup, const std::string& destination) {
    const std::string temporary = temporaryNameBeside(destination);
    const std::array<std::string, 1> written = {temporary};
    const std::array<std::string, 1> placed = {destination};
    if (fs.copyFileToNew(backup, temporary) && fs.flush(written) &&
        fs.moveFile(temporary, destination, FileSystem::Overwrite::Existing)) {
        return fs.flush(placed);
    }
    if (fs.attributes(temporary)) {
        removeFile(fs, temporary);
    }
    return false;
}

// The install's own leftovers: the new content a cut-off run had not put in place yet, and a backup that
// holds what the file holds again.
void removeLeftovers(const RecordedFile& file, FileSystem& fs, bool backupToo) {
    if (!file.temporary.empty() && fs.fileExists(file.temporary)) {
        removeFile(fs, file.temporary);
    }
    if (backupToo && fs.fileExists(file.backup) && fileSha256(fs, file.backup) == file.originalSha256) {
        if (const auto marks = fs.attributes(file.destination)) {
            RemoveBackupName(fs, file.backup, file.destination, *marks);
        }
    }
}

RestoreAction restoreFile(const RecordedFile& file, const EngineServices& services) {
    FileSystem& fs = services.fs;
    MsgBox& boxes = services.msgBox;
    const bool added = file.backup.empty();
    removeLeftovers(file, fs, false);
    // A file stood where the run meant to add one (the run could not put its own there): it was never the
    // run's to remove.
    if (added && file.outcome && *file.outcome != kAddedOutcome) {
        return RestoreAction::AsBefore;
    }
    if (!fs.fileExists(file.destination)) {
        if (added) {
            return RestoreAction::AsBefore;
        }
        boxes.show(messages::changedSinceInstall(file.destination));
        return RestoreAction::ChangedSince;
    }
    const std::optional<std::string> current = fileSha256(fs, file.destination);
    if (!current) {
        boxes.show(messages::couldNotRestore(file.destination, file.backup));
        return RestoreAction::Failed;
    }
    if (!added && *current == file.originalSha256) {
        removeLeftovers(file, fs, true);
        return RestoreAction::AsBefore;
    }
    if (*current != file.newSha256) {
        boxes.show(messages::changedSinceInstall(file.destination));
        return RestoreAction::ChangedSince;
    }
    if (added) {
        if (removeFile(fs, file.destination)) {
            return RestoreAction::Removed;
        }
        boxes.show(messages::couldNotRemove(file.destination));
        return RestoreAction::Failed;
    }
    if (fileSha256(fs, file.backup) != file.originalSha256) {
        boxes.show(messages::backupNotOriginal(file.backup, file.destination));
        return RestoreAction::Failed;
    }
    if (!putBack(fs, file.backup, file.destination)) {
        boxes.show(messages::couldNotRestore(file.destination, file.backup));
        return RestoreAction::Failed;
    }
    removeLeftovers(file, fs, true);
    return RestoreAction::Restored;
}

// The libraries put back are registered again, as the install registered the new ones.
bool registerRestored(const std::vector<RecordedFile>& restored, const RecordedInstall& install,
                      const EngineServices& services) {
    bool ok = true;
    for (const Side side : kSides) {
        RegistrationScript script(side, services, "/s ");
        for (const RecordedFile& file : restored) {
            const std::size_t slash = file.destination.rfind('\\');
            const std::string_view name = std::string_view(file.destination).substr(slash + 1);
            const bool registers = side == Side::Windows || install.registerDlls;
            if (file.side == side && registers && isLibrary(name) &&
                !script.AddLibrary(name, std::string_view(file.destination).substr(0, slash + 1))) {
                ok = false;
            }
        }
        if (!script.FinishScript()) {
            ok = false;
        }
    }
    return ok;
}

} // namespace

bool RunRestore(const InstallerWindow& window, const EngineServices& services,
                const std::function<void(const RestoredFile&)>& report) {
    FileSystem& fs = services.fs;
    const std::string path = RecordPath(services.recordFolder, PackageIdentity(window));
    const std::optional<RecordedInstall> install = ReadLastInstall(fs, path);
    if (!install) {
        services.msgBox.show(messages::noRecordedInstall(path));
        return false;
    }
    // Each write starts on a line of its own: the record may end in a line cut off by a crash.
    const auto record = [&](const std::string& line) {
        if (!fs.appendDurably(path, "\n" + line + "\n")) {
            services.msgBox.show(messages::couldNotWriteRecord(path));
            return false;
        }
        return true;
    };
    if (!record(RecordLine({"restore", RecordTime()}))) {
        return false;
    }
    bool ok = true;
    std::string lines;
    std::vector<RecordedFile> restored;
    // Last file first: a file listed twice gets back what its first replacement found.
    for (std::size_t i = install->files.size(); i-- > 0;) {
        const RecordedFile& file = install->files[i];
        const RestoreAction action = restoreFile(file, services);
        ok = ok && action != RestoreAction::Failed && action != RestoreAction::ChangedSince;
        if (action == RestoreAction::Restored) {
            restored.push_back(file);
        }
        lines +=
            RecordLine({"restored", RecordSideName(file.side), file.destination, RestoreActionName(action)});
        lines += '\n';
        report({file.side, file.destination, action});
    }
    std::reverse(restored.begin(), restored.end());
    if (!registerRestored(restored, *install, services)) {
        ok = false;
    }
    lines += RecordLine({"end restore", ok ? "succeeded" : "failed"});
    if (!record(lines)) {
        ok = false;
    }
    services.msgBox.show(ok ? messages::restoreApplied() : messages::restoreFailed());
    return ok;
}

} // namespace hotfix
