#include "ui/main_window/window_fixture.hpp"

#include "support/code_pages.hpp"

#include <QTest>

namespace hotfix::test {

QApplication& testApplication() {
    static QApplication* const app = [] {
        static int argc = 1;
        static char name[] = "hotfix-ui-test";
        static char* argv[] = {name, nullptr};
        auto* created = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        return created;
    }();
    return *app;
}

WindowTest::WindowTest()
    : fs(makeFileSystem()) {
    testApplication();
}

WindowTest::~WindowTest() {
    window.reset();
}

void WindowTest::writeLists(const char* product, const char* windows) {
    if (product != nullptr) {
        package.write("Setup/InstallPatch.BLR", product);
    }
    if (windows != nullptr) {
        package.write("Setup/InstallWinPatch.BLR", windows);
    }
}

FrmInstallPatch& WindowTest::open(MsgBox* box) {
    MainWindowServices services{package.str(),
                                *fs,
                                test::machineCodePages(),
                                box != nullptr ? *box : msgBox,
                                registry,
                                settings,
                                launcher,
                                folders,
                                [this] { return now; },
                                [this] {
                                    ++endRequests;
                                }};
    services.recordFolder = recordFolder;
    services.runLock = runLock;
    window = std::make_unique<FrmInstallPatch>(std::move(services));
    window->Form_Load();
    return *window;
}

void WindowTest::showAndActivate() {
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
}

} // namespace hotfix::test
