// Draws the main window as it opens on a sample package, for docs/the-windows.md:
//   hotfix_window_screenshot <out.png> [--hover TxtWinPath] [--windows]

#include "support/temp_dir.hpp"
#include "ui/main_window/window_fixture.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QPixmap>
#include <QRadioButton>
#include <QTest>

namespace {

// The recording box, the fake registry and the settings of the tests, without the test framework.
class Screenshot final : public hotfix::test::WindowTest {
public:
    void TestBody() override {}

    int run(const char* out, const char* hover, bool windowsSide) {
        registry.set(hotfix::test::kProductKey, "QXINSTALLDIR", "C:\\Program Files\\Vantrel");
        registry.set(hotfix::test::kWindowsKey, "SystemRoot", "C:\\windows");
        writeLists("Vantrel\\bin\\vtcore.dll, Vantrel\\bin\\vtreport.dll, Vantrel\\bin\\vtui.exe, "
                   "Vantrel\\help\\vantrel.chm, Common\\vtshared.dll, \\readme.txt",
                   "system32\\vtprint.dll, system32\\vthook.dll");
        open();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) {
            return 1;
        }
        if (windowsSide) {
            window->OptWindows->setChecked(true);
        }
        if (hover != nullptr) {
            if (auto* control = window->findChild<QWidget*>(QString::fromLatin1(hover))) {
                QTest::mouseMove(control, control->rect().center());
            }
        }
        QTest::qWait(50);
        return window->grab().save(QString::fromLocal8Bit(out)) ? 0 : 1;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: hotfix_window_screenshot <out.png> [--hover <control>] [--windows]\n");
        return 2;
    }
    const char* hover = nullptr;
    bool windowsSide = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--hover") == 0 && i + 1 < argc) {
            hover = argv[++i];
        } else if (std::strcmp(argv[i], "--windows") == 0) {
            windowsSide = true;
        }
    }
    Screenshot shot;
    return shot.run(argv[1], hover, windowsSide);
}
