#include "cli/command_line.hpp"
#include "cli/headless_run.hpp"
#include "cli/script_waiter.hpp"
#include "engine/install_record.hpp"
#include "engine/text.hpp"
#include "platform/console.hpp"
#include "platform/platform_services.hpp"
#include "ui/main_window/frm_install_patch.hpp"
#include "ui/main_window/program_icon.hpp"
#include "ui/main_window/qt_msg_box.hpp"
#include "ui/main_window/qt_settings_store.hpp"
#include "ui/main_window/taskbar_button.hpp"
#include "ui/widgets/program_font.hpp"

#include <iostream>
#include <variant>

#include <QApplication>

namespace {

std::string recordFolder() {
    return hotfix::concat({hotfix::programDataFolder(), "\\", hotfix::kRecordFolderName});
}

// --check, --install and --restore: the same engine without a window, for deployment tools.
int runWithoutWindow(const hotfix::cli::Options& options) {
    const auto fileSystem = hotfix::makeFileSystem();
    const auto codePages = hotfix::makeCodePageCodec();
    const auto registry = hotfix::makeRegistry();
    hotfix::ScriptWaiter launcher;
    const auto realLauncher = hotfix::makeProcessLauncher(launcher.poster());
    launcher.useLauncher(*realLauncher);
    hotfix::QtSettingsStore settings;
    const auto runLock = hotfix::makeRunLock();
    const auto filesInUse = hotfix::makeFilesInUse();
    std::string packageFolder = hotfix::programFolder();
    if (options.packageFolder) {
        const auto named = hotfix::windowsFolderOf(hotfix::hostPathOf(*options.packageFolder));
        if (!named) {
            std::cerr << "The package folder \"" << *options.packageFolder
                      << "\" given with --package is not a folder.\n";
            return hotfix::cli::kBadArguments;
        }
        packageFolder = *named;
    }
    hotfix::cli::HeadlessServices services{packageFolder, *fileSystem,    *codePages, *registry, settings,
                                           launcher,      recordFolder(), std::cout,  std::cerr};
    services.runLock = runLock.get();
    services.filesInUse = filesInUse.get();
    services.showProgress = hotfix::errorStreamIsTerminal();
    services.now = hotfix::localNow();
    services.workstationRefusal = [](const std::vector<std::string>& roots) {
        return hotfix::workstationRefusal(roots);
    };
    services.hostPath = [](const std::string& path) {
        return hotfix::hostPathOf(path);
    };
    return hotfix::cli::runHeadless(options, services);
}

int runWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    // The program ends only through the close confirmation, never because a window went away.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(hotfix::programIcon());
    // Tooltips and anything else the toolkit draws on its own use the windows' face too.
    QApplication::setFont(hotfix::programFont(hotfix::kBaseFontPointSize));

    const auto fileSystem = hotfix::makeFileSystem();
    const auto codePages = hotfix::makeCodePageCodec();
    const auto registry = hotfix::makeRegistry();
    const auto folderBrowser = hotfix::makeFolderBrowser();
    // A script's exit handler runs on this thread, between events; after the end of the program it is
    // dropped, and the script itself runs on.
    const auto launcher = hotfix::makeProcessLauncher([](std::function<void()> handler) {
        if (QCoreApplication* const instance = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(instance, std::move(handler), Qt::QueuedConnection);
        }
    });
    const auto runLock = hotfix::makeRunLock();
    const auto filesInUse = hotfix::makeFilesInUse();
    hotfix::QtMsgBox msgBox;
    hotfix::QtSettingsStore settings;

    hotfix::MainWindowServices services{
        hotfix::programFolder(), *fileSystem, *codePages, msgBox, *registry, settings, *launcher,
        *folderBrowser};
    services.recordFolder = recordFolder();
    services.runLock = runLock.get();
    services.filesInUse = filesInUse.get();
    services.hostProgramFolder = hotfix::hostProgramFolder();
    hotfix::FrmInstallPatch window(services);
    hotfix::keepOffTaskbar(window);
    window.Form_Load();
    msgBox.setOwner(&window);
    window.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv) {
    hotfix::guardProcess();
    try {
        const auto parsed = hotfix::cli::parseCommandLine(hotfix::programArguments(argc, argv));
        if (const auto* error = std::get_if<hotfix::cli::ArgumentError>(&parsed)) {
            hotfix::useParentConsole();
            std::cerr << error->message << "\n\n" << hotfix::cli::usageText();
            return hotfix::cli::kBadArguments;
        }
        const auto& options = std::get<hotfix::cli::Options>(parsed);
        // Before anything is looked at or made: the workstation must be this account's.
        if (options.mode != hotfix::cli::Mode::Help) {
            if (const auto refusal = hotfix::workstationRefusal()) {
                hotfix::useParentConsole();
                std::cerr << *refusal << '\n';
                // A mistyped WINEPREFIX is a wrong argument, as a root that does not exist is.
                return hotfix::workstationMissing() ? hotfix::cli::kBadArguments : hotfix::cli::kFailure;
            }
        }
        if (options.mode == hotfix::cli::Mode::Window) {
            return runWindow(argc, argv);
        }
        hotfix::useParentConsole();
        return runWithoutWindow(options);
    } catch (const std::exception& error) {
        // Out of memory, mostly: said plainly, and a failure for whoever waits on the exit code.
        std::cerr << "hotfix-installer stopped: " << error.what() << '\n';
        return hotfix::cli::kFailure;
    }
}
