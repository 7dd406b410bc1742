#include "install_run.hpp"

#include "file_lists.hpp"
#include "file_replacement.hpp"
#include "messages.hpp"
#include "registration_script.hpp"
#include "text.hpp"

#include <platform/file_system.hpp>
#include <platform/msg_box.hpp>

namespace hotfix {

namespace {

// No backup file can be named with these, and ":" would hide the backup in a stream.
constexpr std::string_view kBadNameCharacters = "\\/:*?\"<>|";

void switchToDateSuffix(InstallerWindow& window) {
    window.tickAppendDate();
    window.installState().BackupSuffix = window.appendDateCaption();
}

// The first folder of the side's package, as item 0 names it once its head is dropped.
std::string firstPackageFolderHead(Side side, const InstallerWindow& window) {
    const std::string root = window.rootText(side);
    const std::string folder = window.itemFolder(side, 0);
    const std::string_view dropped = headDroppedFolder(root, folder);
    return std::string(dropped.substr(0, dropped.find('\\')));
}

bool packageFolderExists(Side side, std::string_view head, const EngineServices& services) {
    const std::string path = concat({services.programFolder, sideInfo(side).packageFolder, head});
    return services.fs.folderExists(trimBlanks(path));
}

bool checkSideItems(Side side, InstallerWindow& window, const EngineServices& services) {
    FileSystem& fs = services.fs;
    bool passed = true;
    const int count = window.itemCount(side);
    for (int i = 0; i < count; ++i) {
        const ListedFile item = listedFileAt(side, i, window, services.programFolder);
        const bool installed = fs.fileExists(item.destination);
        if (fs.fileExists(item.destination + window.installState().BackupSuffix)) {
            switchToDateSuffix(window);
        }
        if (installed && !fs.fileExists(item.source)) {
            services.msgBox.show(
                messages::fileNotAvailable(item.name, services.programFolder, side, item.folder));
            passed = false;
        }
    }
    return passed;
}

bool checkSide(Side side, InstallerWindow& window, const EngineServices& services) {
    if (isBlank(window.rootText(side))) {
        services.msgBox.show(messages::wrongRoot(side));
        return false;
    }
    const std::string head = firstPackageFolderHead(side, window);
    if (!packageFolderExists(side, head, services)) {
        services.msgBox.show(messages::folderNotAvailable(head, services.programFolder, side,
                                                          messages::FolderMessageEnd::Checks));
        return false;
    }
    return checkSideItems(side, window, services);
}

// Returns whether the suffix settled without a fault.
bool settleSuffix(InstallerWindow& window, const EngineServices& services) {
    InstallState& state = window.installState();
    if (window.appendDateTicked()) {
        state.BackupSuffix = window.appendDateCaption();
        return true;
    }
    const std::string text = window.appendToFileText();
    if (isBlank(text)) {
        // Either button goes on; a later item may still switch to the date suffix.
        services.msgBox.show(messages::missingSuffix());
        return true;
    }
    if (text.find_first_of(kBadNameCharacters) != std::string::npos) {
        services.msgBox.show(messages::missingSuffix());
        return false;
    }
    state.BackupSuffix = std::string(trimBlanks("_" + text));
    return true;
}

struct RunState {
    std::string silentSwitch;
    bool ok = true;
    bool replaced = false;
    int done = 0;
    int total = 0;
};

void runSide(Side side, InstallerWindow& window, const EngineServices& services, RunState& run) {
    const std::string head = firstPackageFolderHead(side, window);
    if (!packageFolderExists(side, head, services)) {
        services.msgBox.show(messages::folderNotAvailable(head, services.programFolder, side,
                                                          messages::FolderMessageEnd::Run));
        run.ok = false;
        return;
    }
    RegistrationScript script(side, services, run.silentSwitch);
    const auto settle = [&](const ListedFile& file, FileOutcome outcome) {
        switch (outcome) {
        case FileOutcome::Replaced: {
            run.replaced = true;
            const bool registers = side == Side::Windows || window.registerDllsTicked();
            if (registers && isLibrary(file.name)) {
                const std::string folder = DestinationFolder(window.rootText(side), file.folder);
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
    };
    // The side's files are put in place together, after one flush; a file listed twice is put in place
    // before it is looked at again, so that its second backup keeps what the first put there.
    ReplacementBatch batch(services);
    const int count = window.itemCount(side);
    for (int i = 0; i < count; ++i) {
        const ListedFile file = listedFileAt(side, i, window, services.programFolder);
        if (batch.holds(file.destination) && !batch.commit(settle)) {
            run.ok = false;
        }
        auto staged = StageListedFile(file, window, services);
        if (auto* outcome = std::get_if<FileOutcome>(&staged)) {
            settle(file, *outcome);
        } else {
            batch.add(std::get<StagedFile>(std::move(staged)));
        }
        window.installProgress(++run.done, run.total);
    }
    if (!batch.commit(settle)) {
        run.ok = false;
    }
    if (!script.FinishScript()) {
        run.ok = false;
    }
}

} // namespace

void ValidateInstall(InstallerWindow& window, const EngineServices& services) {
    bool allPassed = settleSuffix(window, services);
    const int productCount = window.itemCount(Side::Product);
    const int windowsCount = window.itemCount(Side::Windows);
    if (productCount <= 0 && windowsCount <= 0) {
        services.msgBox.show(messages::noFileToCopy());
        return;
    }
    for (const Side side : kSides) {
        if (window.itemCount(side) > 0 && !checkSide(side, window, services)) {
            allPassed = false;
        }
    }
    window.installState().ChecksPassed = allPassed;
    if (!allPassed) {
        services.msgBox.show(messages::hotFixFailed());
    }
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

void RunInstall(InstallerWindow& window, const EngineServices& services) {
    RunState run;
    run.silentSwitch = window.showAfterRegTicked() ? "" : "/s ";
    ValidateInstall(window, services);
    const int productCount = window.itemCount(Side::Product);
    const int windowsCount = window.itemCount(Side::Windows);
    if (!window.installState().ChecksPassed) {
        return;
    }
    run.total = productCount + windowsCount;
    if (productCount > 0) {
        runSide(Side::Product, window, services, run);
    }
    if (windowsCount > 0) {
        runSide(Side::Windows, window, services, run);
    }
    if (run.ok && run.replaced) {
        services.msgBox.show(messages::hotFixApplied());
        if (window.closeAfterInstallationTicked()) {
            window.CmdCancel_Click();
        }
    } else {
        services.msgBox.show(messages::hotFixFailed());
    }
}

} // namespace hotfix
