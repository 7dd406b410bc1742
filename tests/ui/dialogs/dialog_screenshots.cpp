// Draws the three dialogs as a user sees them, for docs/the-windows.md:
//   hotfix_dialog_screenshots <out folder>
// writes dialog-select-dir.png, dialog-read-me.png and dialog-about.png there.

#include "platform/folder_browser.hpp"
#include "ui/dialogs/frm_about.hpp"
#include "ui/dialogs/frm_read_me.hpp"
#include "ui/dialogs/frm_select_dir.hpp"
#include "ui/main_window/focus_flags.hpp"
#include "ui/main_window/window_fixture.hpp"
#include "ui/widgets/dir_list_box.hpp"

#include <cstdio>
#include <cstdlib>
#include <map>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QTest>

namespace {

hotfix::test::FakeFolders sampleFolders() {
    hotfix::test::FakeFolders folders;
    folders.driveList = {{'A', "A:\\"}, {'C', "C:\\"}, {'D', "D:\\"}};
    folders.tree = {
        {"C:\\Program Files\\Vantrel", {"bin", "Common", "help", "Reports", "Samples", "Templates"}}};
    folders.current = "C:\\Program Files\\Vantrel";
    return folders;
}

const char* const kReadMe = R"(<html><head><title>Hot fix 2005.05.01</title></head><body>
<h2>Vantrel hot fix 2005.05.01</h2>
<p>This hot fix replaces the report engine and the shared print library of the Vantrel product family.</p>
<h3>Before you install</h3>
<ul><li>Close every Vantrel program on the workstation.</li>
<li>Check that the Vantrel path shown by the installer is the folder Vantrel is installed in.</li></ul>
<h3>Files replaced</h3>
<table border="1" cellpadding="3" cellspacing="0">
<tr><th>File</th><th>Folder</th><th>Version</th></tr>
<tr><td>vtreport.dll</td><td>Vantrel\bin</td><td>7.2.118</td></tr>
<tr><td>vtshared.dll</td><td>Common</td><td>7.2.118</td></tr>
<tr><td>vtprint.dll</td><td>system32</td><td>7.2.40</td></tr>
</table>
<p>Each replaced file is kept beside the new one with the suffix you choose.</p>
</body></html>
)";

class Screenshots final : public hotfix::test::WindowTest {
public:
    void TestBody() override {}

    int run(const QString& folder) {
        writeLists("Vantrel\\bin\\vtreport.dll, Common\\vtshared.dll", "system32\\vtprint.dll");
        package.write("readme.htm", kReadMe);
        open();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) {
            return 1;
        }
        bool saved = true;

        hotfix::test::FakeFolders sample = sampleFolders();
        hotfix::TxtPathHadFocus = true;
        hotfix::FrmSelectDir picker({*window, *window->TxtPath, *window->TxtWinPath, hotfix::TxtPathHadFocus,
                                     hotfix::TxtWinPathHadFocus},
                                    {sample, msgBox, settings, package.str()});
        picker.DirSelect->setCurrentRow(picker.DirSelect->count() - 3);
        picker.show();
        QTest::qWait(50);
        saved = picker.grab().save(QDir(folder).filePath(QStringLiteral("dialog-select-dir.png"))) && saved;
        picker.hide();

        window->chkReadMe->setChecked(true);
        QTest::qWait(50);
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* viewer = qobject_cast<hotfix::FrmReadMe*>(top)) {
                saved =
                    viewer->grab().save(QDir(folder).filePath(QStringLiteral("dialog-read-me.png"))) && saved;
            }
        }
        window->chkReadMe->setChecked(false);

        hotfix::frmAbout about(window.get());
        about.show();
        QTest::qWait(50);
        saved = about.grab().save(QDir(folder).filePath(QStringLiteral("dialog-about.png"))) && saved;
        return saved ? 0 : 1;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: hotfix_dialog_screenshots <out folder>\n");
        return 2;
    }
    hotfix::test::testApplication();
    Screenshots shots;
    return shots.run(QString::fromLocal8Bit(argv[1]));
}
