#include "install_run.hpp"

#include "messages.hpp"
#include "registration_script.hpp"
#include "text.hpp"

#include <platform/file_system.hpp>
#include <platform/msg_box.hpp>

namespace hotfix {

namespace {

// No backup file can be named with these, and ":" would hide the backup in a stream.
constexpr std::string_view kBadNameCharacters = "\\/:*?\"<>|";

struct Item {
    std::string name;
    std::string folder;
    std::string destination;
    std::string source;
};

Item itemAt(Side side, int index, const InstallerWindow& window, std::string_view programFolder) {
    Item item{window.itemName(side, index), window.itemFolder(side, index), {}, {}};
    const std::string root = window.rootText(side);
    item.destination = DestinationPath(root, item.folder, item.name);
    item.source = SourcePath(programFolder, side, item.folder, item.name);
    return item;
}

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

// A file or a folder: whatever has attributes is there.
bool taken(FileSystem& fs, const std::string& path) {
    return fs.attributes(path).has_value();
}

// The backup never overwrites a file: an older backup, or the same file listed twice, may sit there.
std::string freeBackupName(FileSystem& fs, const std::string& wanted) {
    if (!taken(fs, wanted)) {
        return wanted;
    }
    for (int n = 2;; ++n) {
        std::string candidate = wanted + "_" + std::to_string(n);
        if (!taken(fs, candidate)) {
            return candidate;
        }
    }
}

std::string parentFolder(std::string_view path) {
    return std::string(path.substr(0, path.rfind('\\') + 1));
}

bool checkSideItems(Side side, InstallerWindow& window, const EngineServices& services) {
    FileSystem& fs = services.fs;
    bool passed = true;
    const int count = window.itemCount(side);
    for (int i = 0; i < count; ++i) {
        const Item item = itemAt(side, i, window, services.programFolder);
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
    const int count = window.itemCount(side);
    for (int i = 0; i < count; ++i) {
        switch (ReplaceListedFile(side, i, window, services)) {
        case FileOutcome::Replaced: {
            run.replaced = true;
            const bool registers = side == Side::Windows || window.registerDllsTicked();
            const std::string name = window.itemName(side, i);
            if (registers && isLibrary(name)) {
                const std::string folder =
                    DestinationFolder(window.rootText(side), window.itemFolder(side, i));
                if (!script.AddLibrary(name, folder)) {
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
        window.installProgress(++run.done, run.total);
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
    FileSystem& fs = services.fs;
    const Item item = itemAt(side, index, window, services.programFolder);

    if (!fs.fileExists(item.destination)) {
        if (fs.fileExists(item.destination + window.installState().BackupSuffix)) {
            switchToDateSuffix(window);
        }
        // The copy refuses to overwrite: should the test above have wrongly said "not installed", the
        // installed file has no backup yet.
        if (fs.copyFileToNew(item.source, item.destination)) {
            return FileOutcome::NewFile;
        }
        // Optional parts of a product: a missing package file or destination folder is passed over. They
        // are tested after the copy, so that a wrong "missing" cannot pass a failed copy over silently.
        if (!fs.fileExists(item.source) || !fs.folderExists(parentFolder(item.destination))) {
            return FileOutcome::NewFile;
        }
        services.msgBox.show(messages::couldNotCopy(item.source, item.destination));
        return FileOutcome::Failed;
    }

    const std::string backup = freeBackupName(fs, item.destination + window.installState().BackupSuffix);
    const std::optional<FileAttributes> original = fs.attributes(item.destination);
    const auto restoreAttributes = [&] {
        if (original) {
            fs.setAttributes(item.destination, *original);
        }
    };
    if (!original || !fs.clearAttributes(item.destination)) {
        services.msgBox.show(messages::couldNotBackUp(item.destination, backup));
        return FileOutcome::Failed;
    }
    if (!fs.copyFileToNew(item.destination, backup)) {
        restoreAttributes();
        services.msgBox.show(messages::couldNotBackUp(item.destination, backup));
        return FileOutcome::Failed;
    }
    if (!fs.fileExists(item.source)) {
        restoreAttributes();
        services.msgBox.show(
            messages::fileNotAvailable(item.name, services.programFolder, side, item.folder));
        return FileOutcome::SourceMissing;
    }
    if (!fs.copyFile(item.source, item.destination)) {
        restoreAttributes();
        services.msgBox.show(messages::couldNotReplace(item.destination, item.source));
        return FileOutcome::Failed;
    }
    return FileOutcome::Replaced;
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
