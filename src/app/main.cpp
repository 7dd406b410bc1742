#include "platform/platform_services.hpp"
#include "ui/main_window/frm_install_patch.hpp"
#include "ui/main_window/program_icon.hpp"
#include "ui/main_window/qt_msg_box.hpp"
#include "ui/main_window/qt_settings_store.hpp"
#include "ui/main_window/taskbar_button.hpp"
#include "ui/widgets/program_font.hpp"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The program ends only through the close confirmation, never because a window went away.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(hotfix::programIcon());
    // Tooltips and anything else the toolkit draws on its own use the windows' face too.
    QApplication::setFont(hotfix::programFont(hotfix::kBaseFontPointSize));

    const auto fileSystem = hotfix::makeFileSystem();
    const auto registry = hotfix::makeRegistry();
    const auto folderBrowser = hotfix::makeFolderBrowser();
    // A script's exit handler runs on this thread, between events; after the end of the program it is
    // dropped, and the script itself runs on.
    const auto launcher = hotfix::makeProcessLauncher([](std::function<void()> handler) {
        if (QCoreApplication* const instance = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(instance, std::move(handler), Qt::QueuedConnection);
        }
    });
    hotfix::QtMsgBox msgBox;
    hotfix::QtSettingsStore settings;

    hotfix::FrmInstallPatch window(
        {hotfix::programFolder(), *fileSystem, msgBox, *registry, settings, *launcher, *folderBrowser});
    hotfix::keepOffTaskbar(window);
    window.Form_Load();
    msgBox.setOwner(&window);
    window.show();
    return QApplication::exec();
}
