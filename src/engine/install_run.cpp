#include "engine/install_run.hpp"

#include "engine/file_lists.hpp"
#include "engine/file_replacement.hpp"
#include "engine/install_checks.hpp"
#include "engine/install_record.hpp"
#include "engine/messages.hpp"
#include "engine/registration_script.hpp"
#include "platform/msg_box.hpp"
#include "platform/run_lock.hpp"

namespace hotfix {

namespace {

struct RunState {
    std::string silentSwitch;
    InstallRecord* record = nullptr;
    bool ok = true;
    bool replaced = false;
    int done = 0;
    int total = 0;
};

// Takes one file's final outcome into the run: a replaced library gets its registration lines.
void settle(const ListedFile& file, FileOutcome outcome, InstallerWindow& window, RegistrationScript& script,
            RunState& run) {
    if (run.record != nullptr) {
        run.record->Outcome(file, outcome);
    }
    switch (outcome) {
    case FileOutcome::Replaced: {
        run.replaced = true;
        const bool registers = file.side == Side::Windows || window.registerDllsTicked();
        if (registers && isLibrary(file.name)) {
            const std::string folder = DestinationFolder(window.rootText(file.side), file.folder);
            if (!script.AddLibrary(file.name, folder)) {
                run.ok = false;
            }
        }
        break;
    }
    case FileOutcome::SourceMissing:
    case FileOutcome::Failed:
        run.ok = false;
        break;
    case FileOutcome::NewFile:
        break;
    }
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
    const auto settleFile = [&](const ListedFile& file, FileOutcome outcome) {
        settle(file, outcome, window, script, run);
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
        batch.add(PlanListedFile(file, window, services));
    }
    if (!batch.commit(settleFile, fileDone)) {
        run.ok = false;
    }
    if (!script.FinishScript()) {
        run.ok = false;
    }
}

} // namespace

RunResult RunInstall(InstallerWindow& window, const EngineServices& services) {
    const RunLockHold lock(services.runLock);
    if (!lock.held()) {
        services.msgBox.show(messages::anotherRunInProgress());
        return RunResult::AnotherRunInProgress;
    }
    RunState run;
    run.silentSwitch = window.showAfterRegTicked() ? "" : "/s ";
    ValidateInstall(window, services);
    const int productCount = window.itemCount(Side::Product);
    const int windowsCount = window.itemCount(Side::Windows);
    if (!window.installState().ChecksPassed) {
        return RunResult::Failed;
    }
    const bool recorded = !services.recordFolder.empty();
    std::optional<InstallRecord> record = recorded ? InstallRecord::Begin(window, services) : std::nullopt;
    if (recorded && !record) {
        services.msgBox.show(messages::hotFixFailed());
        return RunResult::Failed;
    }
    run.record = record ? &*record : nullptr;
    run.total = productCount + windowsCount;
    if (productCount > 0) {
        runSide(Side::Product, window, services, run);
    }
    if (windowsCount > 0) {
        runSide(Side::Windows, window, services, run);
    }
    const bool applied = run.ok && run.replaced;
    // The files are in place whatever becomes of the record's last line; its entries came before them.
    if (record) {
        record->Finish(applied);
    }
    if (applied) {
        services.msgBox.show(messages::hotFixApplied());
        if (window.closeAfterInstallationTicked()) {
            window.CmdCancel_Click();
        }
    } else {
        services.msgBox.show(messages::hotFixFailed());
    }
    return applied ? RunResult::Succeeded : RunResult::Failed;
}

} // namespace hotfix
