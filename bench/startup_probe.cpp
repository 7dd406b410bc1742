// Starts one window the way the installer starts, and tells the benchmark when it is on screen:
//   WINEPREFIX=<prefix> bench_startup_probe bare|installer|empty <package folder>
// prints "shown <peak resident KiB>" once the window has painted, then ends.

#include "platform/file_system.hpp"
#include "platform/folder_browser.hpp"
#include "platform/platform_services.hpp"
#include "platform/process_launcher.hpp"
#include "platform/settings_store.hpp"
#include "ui/main_window/frm_install_patch.hpp"
#include "ui/main_window/qt_msg_box.hpp"

#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/resource.h>

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLineEdit>
#include <QWindow>

namespace {

class NoSettings final : public hotfix::SettingsStore {
public:
    std::string GetSetting(std::string_view, std::string_view, std::string_view) override { return {}; }
    void SaveSetting(std::string_view, std::string_view, std::string_view, std::string_view) override {}
};

class NoLauncher final : public hotfix::ProcessLauncher {
public:
    bool startScript(const std::string&, ExitHandler) override { return false; }
};

class NoFolders final : public hotfix::FolderBrowser {
public:
    std::vector<hotfix::Drive> drives() override { return {}; }
    std::optional<hotfix::DriveError> checkDrive(char) override { return std::nullopt; }
    std::vector<std::string> subfolders(const std::string&) override { return {}; }
    std::string currentFolder() override { return "C:\\"; }
};

class PaintWatch final : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        painted = painted || event->type() == QEvent::Paint;
        return QObject::eventFilter(watched, event);
    }
};

int shown(QWidget& window) {
    PaintWatch watch;
    window.installEventFilter(&watch);
    window.show();
    while (!watch.painted) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("shown %ld\n", usage.ru_maxrss);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_startup_probe bare|installer|empty <package folder>\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (std::strcmp(argv[1], "bare") == 0) {
        QDialog bare;
        bare.setFixedSize(465, 360);
        return shown(bare);
    }
    const auto fileSystem = hotfix::makeFileSystem();
    const auto codePages = hotfix::makeCodePageCodec();
    // The registry of the prefix that WINEPREFIX names, as the installer reads it.
    const auto registry = hotfix::makeRegistry();
    NoSettings settings;
    NoLauncher launcher;
    NoFolders folders;
    hotfix::QtMsgBox msgBox;
    hotfix::FrmInstallPatch window(
        {argv[2], *fileSystem, *codePages, msgBox, *registry, settings, launcher, folders});
    window.Form_Load();
    if (window.TxtWinPath->text().isEmpty()) {
        std::fprintf(stderr, "bench_startup_probe: no Windows root in the registry of $WINEPREFIX\n");
        return 1;
    }
    const bool wantLists = std::strcmp(argv[1], "installer") == 0;
    if (wantLists &&
        (window.itemCount(hotfix::Side::Product) == 0 || window.itemCount(hotfix::Side::Windows) == 0)) {
        std::fprintf(stderr, "bench_startup_probe: no list in %s\n", argv[2]);
        return 1;
    }
    return shown(window);
}
