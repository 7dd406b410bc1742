#include "engine/install_run.hpp"

#include "engine/digest_worker.hpp"
#include "engine/file_lists.hpp"
#include "engine/file_replacement.hpp"
#include "engine/install_checks.hpp"
#include "engine/install_record.hpp"
#include "engine/messages.hpp"
#include "engine/registration_script.hpp"
#include "engine/restore_run.hpp"
#include "engine/text.hpp"
#include "platform/files_in_use.hpp"
#include "platform/msg_box.hpp"

namespace hotfix {

namespace {

struct RunState {
    std::string silentSwitch;
    InstallRecord* record = nullptr;
    // The run began an install of its own in the record.
    bool recorded = false;
    bool applied = false;
    bool ok = true;
    bool replaced = false;
    bool added = false;
    bool inPlace = false;
    // The files a running program holds, replaced when Windows restarts.
    std::string atRestart;
    // Libraries that earlier runs replaced and whose registration never succeeded: the scripts take them too.
    std::vector<UnregisteredLibrary> unregistered;
    int done = 0;
    int total = 0;
};

// Registering the library now would load the original, which stays until the restart.
bool registerAfterRestart(const std::string& library, const EngineServices& services) {
    const std::optional<std::string> command = registrationAfterRestartCommand(library);
    if (!command || !services.filesInUse->runAfterRestart(registrationAfterRestartName(library), *command)) {
        services.msgBox.show(messages::cannotRegister(library));
        return false;
    }
    return true;
}

// Takes one file's final outcome into the run: a replaced library gets its registration lines.
void settle(const ListedFile& file, FileOutcome outcome, std::string_view reason, InstallerWindow& window,
            RegistrationScript& script, const EngineServices& services, RunState& run) {
    if (services.log) {
        services.log(concat({recordSideName(file.side), "\t", recordOutcomeName(outcome), "\t",
                             file.destination, reason.empty() ? "" : "\t", reason}));
    }
    if (services.fileSettled) {
        services.fileSettled(file, outcome, reason);
    }
    // A file in place already is no part of the install's record.
    if (run.record != nullptr && outcome != FileOutcome::InPlace) {
        run.record->outcome(file, outcome);
    }
    const bool registered = registersLibrary(file, window);
    switch (outcome) {
    case FileOutcome::Replaced:
        run.replaced = true;
        if (registered &&
            !script.AddLibrary(file.name, destinationFolder(window.rootText(file.side), file.folder))) {
            run.ok = false;
        }
        break;
    case FileOutcome::SourceMissing:
    case FileOutcome::Failed:
        run.ok = false;
        break;
    case FileOutcome::NewFile:
        run.added = true;
        break;
    case FileOutcome::InPlace:
        run.inPlace = true;
        break;
    case FileOutcome::AtRestart:
        run.replaced = true;
        run.atRestart += concat({file.destination, "\n"});
        if (registered && !registerAfterRestart(file.destination, services)) {
            run.ok = false;
        }
        break;
    case FileOutcome::PassedOver:
        break;
    }
}

void settleWaiting(const ListedFile& file, const EngineServices& services, RunState& run) {
    if (services.log) {
        services.log(concat({recordSideName(file.side), "\t", recordOutcomeName(FileOutcome::AtRestart), "\t",
                             file.destination}));
    }
    if (services.fileSettled) {
        services.fileSettled(file, FileOutcome::AtRestart, {});
    }
    run.inPlace = true;
    run.atRestart += concat({file.destination, "\n"});
}

void runSide(Side side, InstallerWindow& window, const EngineServices& services, RunState& run) {
    const std::string head = firstPackageFolderHead(side, window);
    if (!packageFolderExists(side, head, services)) {
        services.msgBox.show(messages::folderNotAvailable(head, services.programFolder, side,
                                                          messages::FolderMessageEnd::Run));
        run.ok = false;
        return;
    }
    RegistrationScript script(side, services, run.silentSwitch);
    if (run.record != nullptr) {
        script.recordIn(run.record->path());
    }
    const auto settleFile = [&](const ListedFile& file, FileOutcome outcome, std::string_view reason) {
        settle(file, outcome, reason, window, script, services, run);
    };
    // A file counts as done once its copies are made: that is what takes the time.
    const auto fileDone = [&] {
        window.installProgress(++run.done, run.total);
    };
    // The side's files are put in place together, after one flush; a file listed twice is put in place
    // before it is looked at again, so that its second backup keeps what the first put there.
    ReplacementBatch batch(services, run.record);
    const int count = window.itemCount(side);
    for (int i = 0; i < count; ++i) {
        const ListedFile file = listedFileAt(side, i, window, services.programFolder);
        if (batch.holds(file.destination) && !batch.commit(settleFile, fileDone)) {
            run.ok = false;
        }
        PlannedFile plan = planListedFile(file, window, services);
        if (plan.action == PlannedAction::WaitingForRestart) {
            // An earlier run's copy replaces it at the restart already: nothing to do, nor to record.
            settleWaiting(file, services, run);
            fileDone();
            continue;
        }
        if (plan.action == PlannedAction::Replace && run.record != nullptr &&
            registersLibrary(file, window)) {
            run.record->registrationPlanned(side);
        }
        batch.add(std::move(plan));
    }
    if (!batch.commit(settleFile, fileDone)) {
        run.ok = false;
    }
    for (const UnregisteredLibrary& library : run.unregistered) {
        const std::size_t slash = library.path.rfind('\\') + 1;
        if (library.side != side || script.holds(library.path)) {
            continue;
        }
        if (run.record != nullptr) {
            run.record->registrationPlanned(side);
        }
        if (!script.AddLibrary(std::string_view(library.path).substr(slash),
                               std::string_view(library.path).substr(0, slash))) {
            run.ok = false;
        }
    }
    if (!script.FinishScript()) {
        run.ok = false;
    }
}

// Lets the user close the programs that hold installed files, or let their files wait for the restart;
// unattended, asks them to close where the deployment tool wants that. False: the user gave the install up.
bool dealWithHolders(InstallerWindow& window, const EngineServices& services, bool& closed) {
    // Unattended, nobody is asked: without the wish to close them, their files simply wait for the restart.
    if (window.unattended() && !window.closeApplications()) {
        return true;
    }
    const std::vector<std::string> installed = installedListedFiles(window, services);
    if (installed.empty()) {
        return true;
    }
    FilesInUse& inUse = *services.filesInUse;
    if (window.unattended()) {
        // What will not close keeps its files, which then wait for the restart.
        inUse.closeHolders(installed);
        closed = true;
        return true;
    }
    for (;;) {
        const std::vector<FilesInUse::Holder> holders = inUse.holders(installed);
        // Held by programs nobody can name: the files themselves are named instead.
        const std::vector<std::string> held =
            holders.empty() ? inUse.heldFiles(installed) : std::vector<std::string>{};
        if (holders.empty() && held.empty()) {
            return true;
        }
        std::string files;
        for (const std::string& file : held) {
            files += concat({file, "\n"});
        }
        switch (services.msgBox.show(holders.empty() ? messages::filesHeld(files)
                                                     : messages::filesInUse(describeHolders(holders)))) {
        case MsgResult::Retry:
            continue;
        case MsgResult::Ignore:
            return true;
        default:
            return false;
        }
    }
}

RunResult installFiles(InstallerWindow& window, const EngineServices& services, RunState& run) {
    const int productCount = window.itemCount(Side::Product);
    const int windowsCount = window.itemCount(Side::Windows);
    const bool recorded = !services.recordFolder.empty();
    std::optional<InstallRecord> record = recorded ? InstallRecord::begin(window, services) : std::nullopt;
    if (recorded && !record) {
        services.msgBox.show(messages::hotFixFailed());
        return RunResult::Failed;
    }
    run.record = record ? &*record : nullptr;
    run.recorded = record.has_value();
    run.total = productCount + windowsCount;
    if (productCount > 0) {
        runSide(Side::Product, window, services, run);
    }
    if (windowsCount > 0) {
        runSide(Side::Windows, window, services, run);
    }
    // Unattended, a hot fix that only adds files, or finds some in place already, is applied too; the
    // window has always called a run that replaced nothing a failure.
    const bool applied = run.ok && (run.replaced || (window.unattended() && (run.added || run.inPlace)));
    // The files are in place whatever becomes of the record's last line; its entries came before them.
    if (record) {
        record->finish(applied);
    }
    if (!run.atRestart.empty()) {
        services.msgBox.show(messages::replacedAtRestart(run.atRestart));
    }
    if (applied) {
        if (!run.replaced && !run.inPlace) {
            services.msgBox.show(messages::everyFileWasNew());
        }
        run.applied = true;
        if (!services.registrationFailed) {
            services.msgBox.show(messages::hotFixApplied());
        }
        if (window.closeAfterInstallationTicked()) {
            window.CmdCancel_Click();
        }
    } else {
        services.msgBox.show(messages::hotFixFailed());
    }
    if (!applied) {
        return RunResult::Failed;
    }
    return run.atRestart.empty() ? RunResult::Succeeded : RunResult::RestartNeeded;
}

} // namespace

bool registersLibrary(const ListedFile& file, const InstallerWindow& window) {
    return (file.side == Side::Windows || window.registerDllsTicked()) && isLibrary(file.name);
}

std::vector<std::string> installedListedFiles(InstallerWindow& window, const EngineServices& services) {
    std::vector<std::string> installed;
    for (const Side side : kSides) {
        for (int i = 0; i < window.itemCount(side); ++i) {
            const ListedFile file = listedFileAt(side, i, window, services.programFolder);
            if (services.fs.fileExists(file.destination)) {
                installed.push_back(file.destination);
            }
        }
    }
    return installed;
}

std::string describeHolders(const std::vector<FilesInUse::Holder>& holders) {
    std::string text;
    for (const FilesInUse::Holder& holder : holders) {
        text += concat({holder.name, " (process ", std::to_string(holder.processId),
                        holder.service ? ", a service" : "", ")\n"});
    }
    return text;
}

namespace {

enum class Standing { NotInPlace, InPlace, AtRestart };

// Where the listed files stand for an unattended run: every one in place but those passed over; or so, with
// some of them waiting for the restart to be replaced by copies earlier runs queued (named in waiting).
Standing standing(InstallerWindow& window, const EngineServices& services, std::string* waiting) {
    confineToRoots(window, services);
    bool anyInPlace = false;
    bool anyWaiting = false;
    for (const Side side : kSides) {
        for (int i = 0; i < window.itemCount(side); ++i) {
            const PlannedFile plan =
                planListedFile(listedFileAt(side, i, window, services.programFolder), window, services);
            if (plan.action == PlannedAction::AlreadyInPlace) {
                anyInPlace = true;
            } else if (plan.action == PlannedAction::WaitingForRestart) {
                anyWaiting = true;
                if (waiting != nullptr) {
                    *waiting += concat({plan.file.destination, "\n"});
                }
            } else if (plan.action != PlannedAction::PassOverFolderMissing &&
                       plan.action != PlannedAction::PassOverPackageFileMissing) {
                return Standing::NotInPlace;
            }
        }
    }
    if (!(anyInPlace || anyWaiting) || !unregisteredLibraries(window, services).empty()) {
        return Standing::NotInPlace;
    }
    return anyWaiting ? Standing::AtRestart : Standing::InPlace;
}

} // namespace

bool hotFixInPlace(InstallerWindow& window, const EngineServices& services) {
    return standing(window, services, nullptr) == Standing::InPlace;
}

namespace {

RunResult installWith(InstallerWindow& window, const EngineServices& services, RunState& run) {
    run.silentSwitch = window.showAfterRegTicked() ? "" : "/s ";
    ValidateInstall(window, services);
    if (!window.installState().ChecksPassed) {
        return RunResult::Failed;
    }
    // A retry of an unattended install that went through changes nothing, not even the record; nor does one
    // before the restart that an earlier run's replacements wait for.
    std::string waiting;
    switch (window.unattended() ? standing(window, services, &waiting) : Standing::NotInPlace) {
    case Standing::InPlace:
        services.msgBox.show(messages::allInPlace());
        return RunResult::Succeeded;
    case Standing::AtRestart:
        services.msgBox.show(messages::replacedAtRestart(waiting));
        return RunResult::RestartNeeded;
    case Standing::NotInPlace:
        break;
    }
    run.unregistered = takeOverFromEarlierRuns(window, services);
    bool closed = false;
    if (services.filesInUse != nullptr && !dealWithHolders(window, services, closed)) {
        return RunResult::Failed;
    }
    const RunResult result = installFiles(window, services, run);
    if (closed) {
        services.filesInUse->restartClosed();
    }
    return result;
}

} // namespace

RunResult runInstall(InstallerWindow& window, const EngineServices& services, InstallOutcome* outcome) {
    // What the checks have seen of each file, the plan and the replacement need not look at again.
    const FileSystemRun looks(services.fs);
    // The record's digests are taken on a second thread while this one copies.
    DigestWorker digestWorker;
    EngineServices withDigests = services;
    withDigests.digests = &digestWorker;
    RunState run;
    const RunResult result = installWith(window, withDigests, run);
    if (outcome != nullptr) {
        *outcome = {run.recorded, run.applied};
    }
    return result;
}

} // namespace hotfix
