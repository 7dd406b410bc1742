#include "engine/install_checks.hpp"

#include "engine/backup_name.hpp"
#include "engine/file_lists.hpp"
#include "engine/listed_file.hpp"
#include "engine/messages.hpp"
#include "engine/name_rules.hpp"
#include "engine/text.hpp"
#include "platform/file_system.hpp"
#include "platform/msg_box.hpp"

#include <utility>
#include <vector>

namespace hotfix {

namespace {

bool checkSideItems(Side side, InstallerWindow& window, const EngineServices& services) {
    FileSystem& fs = services.fs;
    bool passed = true;
    const int count = window.itemCount(side);
    for (int i = 0; i < count; ++i) {
        const ListedFile item = listedFileAt(side, i, window, services.programFolder);
        // The lists' reader keeps such entries out; the run must not rely on every item coming through it.
        if (!isEntryPart(item.name) || !isEntryPart(item.folder)) {
            services.msgBox.show(messages::badListEntry());
            passed = false;
            continue;
        }
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
    // A relative root would put the files wherever the program happens to run from.
    if (!isAbsoluteRoot(window.rootText(side))) {
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
    std::string suffix = chosenBackupSuffix(window);
    if (!isBackupSuffix(suffix)) {
        services.msgBox.show(messages::missingSuffix());
        return false;
    }
    state.BackupSuffix = std::move(suffix);
    return true;
}

} // namespace

std::string chosenBackupSuffix(const InstallerWindow& window) {
    if (window.appendDateTicked()) {
        return window.appendDateCaption();
    }
    const std::string text = window.appendToFileText();
    return isBlank(text) ? std::string() : std::string(trimBlanks("_" + text));
}

void switchToDateSuffix(InstallerWindow& window) {
    window.tickAppendDate();
    window.installState().BackupSuffix = window.appendDateCaption();
}

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

std::string recordFolderParent(std::string_view recordFolder) {
    const std::size_t separator = recordFolder.find_last_of("\\/");
    return std::string(recordFolder.substr(0, separator == std::string_view::npos ? 0 : separator));
}

void confineToRoots(const InstallerWindow& window, const EngineServices& services) {
    const std::vector<std::string> roots = {window.rootText(Side::Product), window.rootText(Side::Windows),
                                            services.programFolder,
                                            recordFolderParent(services.recordFolder)};
    services.fs.confineBelow(roots);
}

void ValidateInstall(InstallerWindow& window, const EngineServices& services) {
    confineToRoots(window, services);
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
    // A blank suffix goes on in the hope that an installed file switches to the date suffix; where none did,
    // every backup would be its file itself, and the record could not tell one from the other.
    if (!isBackupSuffix(window.installState().BackupSuffix)) {
        allPassed = false;
    }
    window.installState().ChecksPassed = allPassed;
    if (!allPassed) {
        services.msgBox.show(messages::hotFixFailed());
    }
}

} // namespace hotfix
